// The script's steps as the model follows them: the person's clicks and slides, another program's
// changes, the front headphones plugged in, and OK.
#include <mmdeviceapi.h>

#include "bench/sweep/RulesModel.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

void RulesModel::Do(const ScriptStep& step) {
    switch (step.kind) {
        case StepKind::Click:
            BoxOf(step.box) = !BoxOf(step.box);
            if (step.box == Box::Expander) {
                ClickExpander();
            } else if (step.box == Box::Headphone) {
                ClickHeadphone();
            } else {
                ClickNaturalBass();
            }
            break;
        case StepKind::Slide: Slide(step.position); break;
        case StepKind::Outside:
            Log(Store::Fx, step.key, Value::UInt32(step.word), WriteOrigin::OutsideProgram, 0, true,
                m_endpointId);
            break;
        case StepKind::Jack:
            m_driver.jack = kPluggedJack;
            m_driver.retasking[0] = kPluggedRetasking[0];
            m_driver.retasking[1] = kPluggedRetasking[1];
            m_driver.chipRetasking[0] = kPluggedChipRetasking[0];
            m_driver.chipRetasking[1] = kPluggedChipRetasking[1];
            Notify(keys::JackChange);
            break;
        case StepKind::Close: Shutdown(); break;
    }
}

// The record a command changes one field of: by the written rule, the word it reads, a failed
// read counting as 0.
template <typename Record>
void RulesModel::BuildOn(const PROPERTYKEY& key, Record* record, bool* held,
                         const Record& firstRun) {
    Reading reading =
        m_store ? ReadFx(key, "the command's word, read first") : Reading{Reading::Failed, Value()};
    if (reading.HoldsInteger() || !Takes(Departure::CommandsBuildOnAWord)) {
        rules::Unpack(reading.Payload(), record);
    } else if (!*held) {
        *record = firstRun;
    }
    *held = true;
}

void RulesModel::ClickExpander() {
    bool on = BoxOf(Box::Expander);
    m_expander = {on ? 1 : 0, rules::kExpanderBit0Set};
    if (on) {
        CheckFormat();
    }
    WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander), "the expander switched");
    // On speakers the two boxes are one switch: the headphone effect follows.
    if (m_formFactor == rules::kSpeakers) {
        BuildOn(keys::Headphone, &m_headphone, &m_headphoneHeld, FirstRun().headphone);
        m_headphone.enabled = BoxOf(Box::Expander) ? 1 : 0;
        WriteWord(keys::Headphone, rules::Pack(m_headphone), "the headphone effect following");
    }
}

void RulesModel::ClickHeadphone() {
    BuildOn(keys::Headphone, &m_headphone, &m_headphoneHeld, FirstRun().headphone);
    m_headphone.enabled = BoxOf(Box::Headphone) ? 1 : 0;
    if (m_headphone.enabled && m_headphone.bit0 == rules::kHeadphoneBit0Set) {
        CheckFormat();
    }
    WriteWord(keys::Headphone, rules::Pack(m_headphone), "the headphone effect switched");
    if (m_formFactor == rules::kSpeakers) {
        m_expander = {BoxOf(Box::Headphone) ? 1 : 0, rules::kExpanderBit0Set};
        WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander), "the expander following");
    }
}

void RulesModel::ClickNaturalBass() {
    BuildOn(keys::NaturalBass, &m_naturalBass, &m_naturalBassHeld, FirstRun().naturalBass);
    m_naturalBass.enabled = BoxOf(Box::NaturalBass) ? 1 : 0;
    if (m_naturalBass.enabled) {
        CheckFormat();
    }
    WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass), "Natural Bass switched");
}

// The level is stored when the thumb is let go, with no format check.
void RulesModel::Slide(int position) {
    BuildOn(keys::NaturalBass, &m_naturalBass, &m_naturalBassHeld, FirstRun().naturalBass);
    m_naturalBass.boost = position;
    WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass), "the Bass Boost level");
}

}  // namespace sweep
