#include "bench/sweep/PageModel.h"

#include <mmdeviceapi.h>

#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

void PageModel::Do(const ScriptStep& step) {
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
        case StepKind::Slide:
            ReadForCommand(keys::NaturalBass, &m_naturalBass, &m_naturalBassHeld,
                           FirstRun().naturalBass);
            m_naturalBass.boost = step.position;
            WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass));
            break;
        case StepKind::Outside: {
            Value word = Value::UInt32(step.word);
            m_plan.parts.back().push_back(
                {Store::Fx, step.key, word, WriteOrigin::OutsideProgram, 0, true});
            Put(Store::Fx, step.key, word);
            break;
        }
        case StepKind::Jack:
        case StepKind::Close: break;
    }
}

// A command builds on the integer it reads; without one, on the page's last reading when that was
// a word, and otherwise on the word's first-run default.
template <typename Record>
void PageModel::ReadForCommand(const PROPERTYKEY& key, Record* record, bool* held,
                               const Record& firstRun) {
    Reading reading = Read(Store::Fx, key);
    if (reading.HoldsInteger()) {
        rules::Unpack(reading.Payload(), record);
    } else if (!*held) {
        *record = firstRun;
    }
    *held = true;
}

void PageModel::WriteExpander(bool on) {
    m_expander = {on ? 1 : 0, rules::kExpanderBit0Set};
    WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander));
}

void PageModel::ClickExpander() {
    bool on = BoxOf(Box::Expander);
    m_expander = {on ? 1 : 0, rules::kExpanderBit0Set};
    if (on) {
        CheckFormat();
    }
    WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander));
    if (m_formFactor == rules::kSpeakers) {
        ReadForCommand(keys::Headphone, &m_headphone, &m_headphoneHeld, FirstRun().headphone);
        m_headphone.enabled = on ? 1 : 0;
        WriteWord(keys::Headphone, rules::Pack(m_headphone));
    }
}

void PageModel::ClickHeadphone() {
    bool on = BoxOf(Box::Headphone);
    ReadForCommand(keys::Headphone, &m_headphone, &m_headphoneHeld, FirstRun().headphone);
    m_headphone.enabled = on ? 1 : 0;
    if (on && m_headphone.bit0 == rules::kHeadphoneBit0Set) {
        CheckFormat();
    }
    WriteWord(keys::Headphone, rules::Pack(m_headphone));
    if (m_formFactor == rules::kSpeakers) {
        WriteExpander(on);
    }
}

void PageModel::ClickNaturalBass() {
    ReadForCommand(keys::NaturalBass, &m_naturalBass, &m_naturalBassHeld, FirstRun().naturalBass);
    m_naturalBass.enabled = BoxOf(Box::NaturalBass) ? 1 : 0;
    if (m_naturalBass.enabled) {
        CheckFormat();
    }
    WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass));
}

// The format check: a format that cannot be read is left alone; one read as nothing is 0 Hz.
void PageModel::CheckFormat() {
    Reading query = Read(Store::Endpoint, PKEY_AudioEngine_DeviceFormat);
    if (query.outcome == Reading::Failed ||
        !rules::FormatNeedsForcing(rules::ReadFormat(query.value))) {
        return;
    }
    Reading stored = Read(Store::Endpoint, PKEY_AudioEngine_DeviceFormat);
    std::optional<Value> forced;
    if (stored.outcome != Reading::Found || !(forced = rules::ForcedFormat(stored.value)) ||
        !Write(Store::Endpoint, PKEY_AudioEngine_DeviceFormat, *forced)) {
        return;
    }
    Reading formFactor = Read(Store::Endpoint, PKEY_AudioEndpoint_FormFactor);
    if (formFactor.outcome == Reading::Failed || formFactor.Payload() != rules::kSpeakers) {
        return;
    }
    Write(Store::Endpoint, PKEY_AudioEndpoint_PhysicalSpeakers, Value::UInt32(3));
    Write(Store::Endpoint, PKEY_AudioEndpoint_FullRangeSpeakers, Value::UInt32(3));
}

}  // namespace sweep
