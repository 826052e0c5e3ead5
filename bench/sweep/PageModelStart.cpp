#include "bench/sweep/PageModel.h"

#include <mmdeviceapi.h>

#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;

void PageModel::StartPage() {
    Enter(Part::PageStart, 0);
    m_client = !FaultIs(Purpose::Registration);
    Reading formFactor = Read(Store::Endpoint, PKEY_AudioEndpoint_FormFactor);
    m_formFactor =
        formFactor.outcome == Reading::Failed ? rules::kUnknownFormFactor : formFactor.Payload();
    // The bypass box is left unchecked: the machines hold no bypass value.
    Read(Store::Fx, PKEY_AudioEndpoint_Disable_SysFx);
    m_device = !FaultIs(Purpose::PageDevice);

    // A marker that cannot be read leaves the stored words alone: only a store that holds no
    // marker, or one of another type, is met for the first time.
    Reading marker = Read(Store::Fx, keys::FirstRunMarker);
    if (marker.outcome == Reading::Failed ||
        (marker.outcome == Reading::Found && marker.value.Type() == VT_UI4)) {
        LoadWords();
    } else {
        WriteDefaults();
    }
    UpdateControls();
    // Once its callback is listed the page reads the words and the bypass value once more,
    // for a change that landed before it could hear of it; it hears of changes from then on.
    // Only words the store holds are taken: a first run whose defaults were not written goes on
    // showing them.
    if (m_client) {
        RefreshEffects(true);
        RefreshBypass();
    }
    m_refresh = 0;
}

void PageModel::WriteDefaults() {
    Write(Store::Fx, keys::FirstRunMarker, Value::UInt32(0), true);
    rules::Defaults defaults = rules::DefaultsFor(static_cast<int>(m_formFactor));
    m_mode = defaults.mode;
    WriteWord(keys::ModeWord, rules::Pack(m_mode));
    m_headphone = defaults.headphone;
    WriteWord(keys::Headphone, rules::Pack(m_headphone));
    WriteWord(keys::HeadphoneSelector, defaults.selector);
    m_expander = defaults.expander;
    WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander));
    m_level = defaults.level;
    WriteWord(keys::LevelWord, rules::Pack(m_level));
    m_naturalBass = defaults.naturalBass;
    WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass));
    m_headphoneHeld = m_naturalBassHeld = true;
}

void PageModel::LoadWords() {
    m_mode = {};
    m_headphone = {};
    m_expander = {};
    m_level = {};
    m_naturalBass = {};
    rules::Unpack(Read(Store::Fx, keys::ModeWord).Payload(), &m_mode);
    Reading headphone = Read(Store::Fx, keys::Headphone);
    rules::Unpack(headphone.Payload(), &m_headphone);
    // The selector goes back to 2 for a headphone word read as off, one that is not there
    // included; a failed read leaves it.
    Reading selector = Read(Store::Fx, keys::HeadphoneSelector);
    if (selector.Payload() == 1 && headphone.outcome != Reading::Failed && !m_headphone.enabled) {
        WriteWord(keys::HeadphoneSelector, 2);
    }
    rules::Unpack(Read(Store::Fx, keys::SoundSpaceExpander).Payload(), &m_expander);
    rules::Unpack(Read(Store::Fx, keys::LevelWord).Payload(), &m_level);
    Reading naturalBass = Read(Store::Fx, keys::NaturalBass);
    rules::Unpack(naturalBass.Payload(), &m_naturalBass);
    m_headphoneHeld = headphone.HoldsInteger();
    m_naturalBassHeld = naturalBass.HoldsInteger();
}

void PageModel::UpdateControls() {
    m_boxes[static_cast<int>(Box::Expander)] = m_expander.enabled != 0;
    m_boxes[static_cast<int>(Box::Headphone)] =
        m_headphone.enabled != 0 && m_headphone.bit0 == rules::kHeadphoneBit0Set;
    m_boxes[static_cast<int>(Box::NaturalBass)] = m_naturalBass.enabled != 0;
}

}  // namespace sweep
