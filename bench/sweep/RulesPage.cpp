// The page's start and its refreshes as the model follows them: the form factor and the face, the
// bypass value, the page's device, the first-run defaults or the load, the read once the
// callback is listed, and each refresh kind.
#include <mmdeviceapi.h>

#include "bench/sweep/RulesModel.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

void RulesModel::StartPage() {
    Enter(Part::PageStart, 0);
    Reading formFactor = ReadEndpoint(PKEY_AudioEndpoint_FormFactor, "the page's form factor");
    m_formFactor = formFactor.outcome == Reading::Empty ? 0
                   : formFactor.HoldsNumber()           ? formFactor.Payload()
                                                        : rules::kUnknownFormFactor;
    if (m_formFactor == rules::kSpeakers) {
        HeadphonesActive();  // the face; nothing the script does depends on it
    }
    ReadBypass();
    if (Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, "the page's enumerator"))) {
        m_device = Ok(Call("IMMDeviceEnumerator::GetDevice", true, "the page's device"));
    }
    if (m_store) {
        if (IsFirstRun()) {
            Answer marked = Call("FxStore::SetValue " + KeyText(keys::FirstRunMarker), false,
                                 "the first-run marker, through the handle");
            Log(Store::Fx, keys::FirstRunMarker, Value::UInt32(0), WriteOrigin::FxStoreHandle, 6,
                Ok(marked), m_endpointId);
            WriteDefaults();
        } else {
            LoadWords();
        }
    }
    UpdateControls();
    // The callback is listed: changes reach the page from here on.
    m_listening = true;
    if (Takes(Departure::WordsReadOnceListed)) {
        ReadShownWords(true);
        ReadBypass();
        UpdateControls();
    }
}

// Only a store that holds no marker, or one of another type, is met for the first time.
bool RulesModel::IsFirstRun() {
    Reading marker = ReadFx(keys::FirstRunMarker, "the first-run marker");
    if (marker.outcome == Reading::Found && marker.value.Type() == VT_UI4) {
        return false;
    }
    return marker.Succeeded() || !Takes(Departure::UnreadableMarkerLoads);
}

void RulesModel::WriteDefaults() {
    rules::Defaults defaults = FirstRun();
    m_mode = defaults.mode;
    WriteWord(keys::ModeWord, rules::Pack(m_mode), "the first run's mode word");
    m_headphone = defaults.headphone;
    WriteWord(keys::Headphone, rules::Pack(m_headphone), "the first run's headphone word");
    WriteWord(keys::HeadphoneSelector, defaults.selector, "the first run's selector");
    m_expander = defaults.expander;
    WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander), "the first run's expander word");
    m_level = defaults.level;
    WriteWord(keys::LevelWord, rules::Pack(m_level), "the first run's level word");
    m_naturalBass = defaults.naturalBass;
    WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass), "the first run's Natural Bass word");
    m_headphoneHeld = m_naturalBassHeld = true;
}

// Every record zeroed first, then each word read and unpacked; a word that cannot be read counts
// as 0.
void RulesModel::LoadWords() {
    m_mode = {};
    m_headphone = {};
    m_expander = {};
    m_level = {};
    m_naturalBass = {};
    rules::Unpack(ReadFx(keys::ModeWord, "the load: the mode word").Payload(), &m_mode);
    Reading headphone = ReadFx(keys::Headphone, "the load: the headphone word");
    rules::Unpack(headphone.Payload(), &m_headphone);
    Reading selector = ReadFx(keys::HeadphoneSelector, "the load: the selector");
    if (selector.Succeeded() && selector.Payload() == 1 && !m_headphone.enabled) {
        bool readAsOff = headphone.outcome == Reading::Empty || headphone.HoldsNumber();
        if (readAsOff || !Takes(Departure::SelectorStaysOnAnUnreadWord)) {
            WriteWord(keys::HeadphoneSelector, 2, "the load: the selector sent back to 2");
        }
    }
    rules::Unpack(ReadFx(keys::SoundSpaceExpander, "the load: the expander word").Payload(),
                  &m_expander);
    rules::Unpack(ReadFx(keys::LevelWord, "the load: the level word").Payload(), &m_level);
    Reading naturalBass = ReadFx(keys::NaturalBass, "the load: the Natural Bass word");
    rules::Unpack(naturalBass.Payload(), &m_naturalBass);
    m_headphoneHeld = headphone.HoldsInteger();
    m_naturalBassHeld = naturalBass.HoldsInteger();
}

// The three words the page shows. A word whose read fails keeps its record; with `storedOnly`, so
// does one the store does not hold.
void RulesModel::ReadShownWords(bool storedOnly) {
    if (m_store) {
        auto taken = [storedOnly](const Reading& reading) {
            return reading.Succeeded() && (!storedOnly || reading.HoldsNumber());
        };
        const char* why = storedOnly ? "the read once listed: " : "the refresh: ";
        Reading headphone = ReadFx(keys::Headphone, std::string(why) + "the headphone word");
        if (taken(headphone)) {
            rules::Unpack(headphone.Payload(), &m_headphone);
            m_headphoneHeld = headphone.HoldsInteger();
        }
        Reading expander = ReadFx(keys::SoundSpaceExpander, std::string(why) + "the expander word");
        if (taken(expander)) {
            rules::Unpack(expander.Payload(), &m_expander);
        }
        Reading naturalBass = ReadFx(keys::NaturalBass, std::string(why) + "the Natural Bass word");
        if (taken(naturalBass)) {
            rules::Unpack(naturalBass.Payload(), &m_naturalBass);
            m_naturalBassHeld = naturalBass.HoldsInteger();
        }
    }
    UpdateControls();
}

// The hidden bypass box follows a readable VT_UI4 value only.
void RulesModel::ReadBypass() {
    if (!m_store) {
        return;
    }
    Reading bypass = ReadFx(PKEY_AudioEndpoint_Disable_SysFx, "the bypass value");
    if (bypass.outcome == Reading::Found && bypass.value.Type() == VT_UI4) {
        m_bypass = bypass.value.UInt32() != 0;
    }
}

void RulesModel::UpdateControls() {
    BoxOf(Box::Expander) = m_expander.enabled != 0;
    BoxOf(Box::Headphone) =
        m_headphone.enabled != 0 && m_headphone.bit0 == rules::kHeadphoneBit0Set;
    BoxOf(Box::NaturalBass) = m_naturalBass.enabled != 0;
}

// The page reads what it was told of once the step is over.
void RulesModel::Refresh() {
    std::vector<int> told;
    told.swap(m_told);
    if (told.empty()) {
        return;
    }
    if (told.size() == 1 || !Takes(Departure::RefreshesGathered)) {
        for (int kind : told) {
            RefreshKind(kind);
        }
        return;
    }
    for (int kind : {kRefreshBypass, kRefreshEffects, kRefreshJack}) {
        if (std::find(told.begin(), told.end(), kind) != told.end()) {
            RefreshKind(kind);
        }
    }
}

void RulesModel::RefreshKind(int kind) {
    if (kind == kRefreshBypass) {
        ReadBypass();
        UpdateControls();
    } else if (kind == kRefreshEffects) {
        ReadShownWords(false);
    } else if (kind == kRefreshJack && m_formFactor == rules::kSpeakers) {
        HeadphonesActive();
    }
}

}  // namespace sweep
