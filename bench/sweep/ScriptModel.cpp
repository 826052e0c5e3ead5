#include "bench/sweep/ScriptModel.h"

#include <mmdeviceapi.h>

#include <map>

#include "bench/sweep/EffectRules.h"
#include "bench/sweep/Script.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {
namespace {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;
using sim::call_sweep::Variant;
using Properties = std::vector<std::pair<PROPERTYKEY, Value>>;

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

// A read as the caller sees it: a value, success without one (VT_EMPTY), or a failure.
struct Reading {
    enum { Found, Empty, Failed } outcome = Empty;
    Value value;

    // The payload the effect-word readers take, whatever the type; 0 without a value.
    DWORD Payload() const { return outcome == Found ? value.UInt32() : 0; }
    // A word to build a command on: a value that holds a number.
    bool HoldsWord() const { return outcome == Found && !value.IsEmpty(); }
};

enum RefreshKind { kBypass = 1, kEffects = 2 };

class PageModel {
public:
    PageModel(const ModelMachine& machine, const std::optional<Fault>& fault)
        : m_stores{machine.endpointStore, machine.fxStore},
          m_vista(machine.windowsMinor == 0),
          m_fault(fault) {}

    RunPlan Run() {
        StartPage();
        const std::vector<ScriptStep>& script = Script();
        for (size_t i = 0; i < script.size(); ++i) {
            Enter(Part::Step, i);
            Do(script[i]);
            Refresh();
        }
        m_plan.endpointStore = m_stores[0];
        m_plan.fxStore = m_stores[1];
        return m_plan;
    }

private:
    // --- The run's parts, and the one call answered otherwise.

    void Enter(Part part, size_t step) {
        m_part = part;
        m_step = step;
        m_reads.clear();
        m_writes.clear();
        m_plan.parts.emplace_back();
    }

    // The link of the call answered otherwise, when it serves this read or write.
    std::optional<Link> Hit(Purpose purpose, const std::string& key, int occurrence) const {
        if (!m_fault) {
            return std::nullopt;
        }
        const CallRole& role = m_fault->role;
        if (role.part != m_part || (m_part == Part::Step && role.step != m_step) ||
            role.purpose != purpose || role.key != key || role.occurrence != occurrence) {
            return std::nullopt;
        }
        return role.link;
    }

    bool FaultIs(Purpose purpose) const { return m_fault && m_fault->role.purpose == purpose; }
    bool Unusable() const { return m_fault && m_fault->variant == Variant::Unusable; }

    // --- The stores.

    Properties& StoreOf(Store store) { return m_stores[store == Store::Fx ? 1 : 0]; }

    const Value* Stored(Store store, const PROPERTYKEY& key) {
        for (auto& [storedKey, value] : StoreOf(store)) {
            if (SameKey(storedKey, key)) {
                return &value;
            }
        }
        return nullptr;
    }

    // A read through the FX store handle, or through a device's property store (enumerator,
    // device, store, read). A null device is a failure; an unusable store or value holds nothing.
    Reading Read(Store store, const PROPERTYKEY& key) {
        std::string text = KeyText(key);
        if (std::optional<Link> link = Hit(Purpose::Read, text, ++m_reads[text])) {
            bool nothing = Unusable() && (*link == Link::OpenStore || *link == Link::GetValue);
            return {nothing ? Reading::Empty : Reading::Failed, Value()};
        }
        const Value* value = Stored(store, key);
        return value ? Reading{Reading::Found, *value} : Reading{Reading::Empty, Value()};
    }

    // A write through the configuration object (device id, version, object, write) or, for the
    // marker, through the FX store handle. Returns whether the service took it.
    bool Write(Store store, const PROPERTYKEY& key, const Value& value,
               bool throughHandle = false) {
        bool format = SameKey(key, PKEY_AudioEngine_DeviceFormat);
        std::string text = format ? kFormatWrite : KeyText(key);
        WriteOrigin origin = throughHandle ? WriteOrigin::FxStoreHandle
                             : m_vista     ? WriteOrigin::ConfigVista
                                           : WriteOrigin::Config7;
        int slot = throughHandle ? 6 : format ? (m_vista ? 5 : 6) : (m_vista ? 11 : 12);
        bool accepted = true;
        if (std::optional<Link> link = Hit(Purpose::Write, text, ++m_writes[text])) {
            switch (*link) {
                case Link::Version:
                    // A failed query is asked again with the plain structure; Windows 8's
                    // answer is no version the program writes for.
                    if (!Unusable()) {
                        break;
                    }
                    return false;
                case Link::DeviceId:
                    // An empty id reaches the service, which knows no such endpoint.
                    if (!Unusable()) {
                        return false;
                    }
                    accepted = false;
                    break;
                case Link::Write: accepted = false; break;
                default: return false;
            }
        }
        m_plan.parts.back().push_back({store, key, value, origin, slot, accepted});
        if (accepted) {
            Put(store, key, value);
        }
        return accepted;
    }

    void Put(Store store, const PROPERTYKEY& key, const Value& value) {
        for (auto& [storedKey, stored] : StoreOf(store)) {
            if (SameKey(storedKey, key)) {
                stored = value;
                MarkRefresh(key);
                return;
            }
        }
        StoreOf(store).emplace_back(key, value);
        MarkRefresh(key);
    }

    void MarkRefresh(const PROPERTYKEY& key) {
        const GUID& set = key.fmtid;
        if (IsEqualGUID(set, keys::Headphone.fmtid) ||
            IsEqualGUID(set, keys::SoundSpaceExpander.fmtid) ||
            IsEqualGUID(set, keys::NaturalBass.fmtid)) {
            m_refresh |= kEffects;
        } else if (IsEqualGUID(set, PKEY_AudioEndpoint_FormFactor.fmtid)) {
            m_refresh |= kBypass;
        }
    }

    // A word written by the page's device id; nothing without the device.
    void WriteWord(const PROPERTYKEY& key, DWORD word) {
        if (m_device) {
            Write(Store::Fx, key, Value::UInt32(word));
        }
    }

    // --- Start-up and the page's start.

    void StartPage() {
        Enter(Part::PageStart, 0);
        m_client = !FaultIs(Purpose::Registration);
        Reading formFactor = Read(Store::Endpoint, PKEY_AudioEndpoint_FormFactor);
        m_formFactor = formFactor.outcome == Reading::Failed ? rules::kUnknownFormFactor
                                                             : formFactor.Payload();
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
        if (m_client) {
            RefreshEffects();
            RefreshBypass();
        }
        m_refresh = 0;
    }

    void WriteDefaults() {
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
    }

    void LoadWords() {
        m_mode = {};
        m_headphone = {};
        m_expander = {};
        m_level = {};
        m_naturalBass = {};
        rules::Unpack(Read(Store::Fx, keys::ModeWord).Payload(), &m_mode);
        Reading headphone = Read(Store::Fx, keys::Headphone);
        rules::Unpack(headphone.Payload(), &m_headphone);
        // The selector goes back to 2 only for a headphone word read and found off.
        Reading selector = Read(Store::Fx, keys::HeadphoneSelector);
        if (selector.Payload() == 1 && headphone.HoldsWord() && !m_headphone.enabled) {
            WriteWord(keys::HeadphoneSelector, 2);
        }
        rules::Unpack(Read(Store::Fx, keys::SoundSpaceExpander).Payload(), &m_expander);
        rules::Unpack(Read(Store::Fx, keys::LevelWord).Payload(), &m_level);
        rules::Unpack(Read(Store::Fx, keys::NaturalBass).Payload(), &m_naturalBass);
    }

    void UpdateControls() {
        m_boxes[static_cast<int>(Box::Expander)] = m_expander.enabled != 0;
        m_boxes[static_cast<int>(Box::Headphone)] =
            m_headphone.enabled != 0 && m_headphone.bit0 == rules::kHeadphoneBit0Set;
        m_boxes[static_cast<int>(Box::NaturalBass)] = m_naturalBass.enabled != 0;
    }

    // --- The script's steps.

    bool& BoxOf(Box box) { return m_boxes[static_cast<int>(box)]; }

    void Do(const ScriptStep& step) {
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
                ReadForCommand(keys::NaturalBass, &m_naturalBass);
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

    // A command builds on the word it reads, or on the page's last reading when it finds none.
    template <typename Record>
    void ReadForCommand(const PROPERTYKEY& key, Record* record) {
        Reading reading = Read(Store::Fx, key);
        if (reading.HoldsWord()) {
            rules::Unpack(reading.Payload(), record);
        }
    }

    void WriteExpander(bool on) {
        m_expander = {on ? 1 : 0, rules::kExpanderBit0Set};
        WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander));
    }

    void ClickExpander() {
        bool on = BoxOf(Box::Expander);
        m_expander = {on ? 1 : 0, rules::kExpanderBit0Set};
        if (on) {
            CheckFormat();
        }
        WriteWord(keys::SoundSpaceExpander, rules::Pack(m_expander));
        if (m_formFactor == rules::kSpeakers) {
            ReadForCommand(keys::Headphone, &m_headphone);
            m_headphone.enabled = on ? 1 : 0;
            WriteWord(keys::Headphone, rules::Pack(m_headphone));
        }
    }

    void ClickHeadphone() {
        bool on = BoxOf(Box::Headphone);
        ReadForCommand(keys::Headphone, &m_headphone);
        m_headphone.enabled = on ? 1 : 0;
        if (on && m_headphone.bit0 == rules::kHeadphoneBit0Set) {
            CheckFormat();
        }
        WriteWord(keys::Headphone, rules::Pack(m_headphone));
        if (m_formFactor == rules::kSpeakers) {
            WriteExpander(on);
        }
    }

    void ClickNaturalBass() {
        ReadForCommand(keys::NaturalBass, &m_naturalBass);
        m_naturalBass.enabled = BoxOf(Box::NaturalBass) ? 1 : 0;
        if (m_naturalBass.enabled) {
            CheckFormat();
        }
        WriteWord(keys::NaturalBass, rules::Pack(m_naturalBass));
    }

    // The format check: a format that cannot be read is left alone; one read as nothing is 0 Hz.
    void CheckFormat() {
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

    // The page reads what changed once the step is over: the bypass value, then the three words
    // it shows.
    void Refresh() {
        int due = m_refresh;
        m_refresh = 0;
        if (!m_client || !due) {
            return;
        }
        if (due & kBypass) {
            RefreshBypass();
        }
        if (due & kEffects) {
            RefreshEffects();
        }
    }

    void RefreshBypass() {
        Read(Store::Fx, PKEY_AudioEndpoint_Disable_SysFx);
        UpdateControls();
    }

    // A word whose read fails keeps its record.
    void RefreshEffects() {
        Reading headphone = Read(Store::Fx, keys::Headphone);
        if (headphone.outcome != Reading::Failed) {
            rules::Unpack(headphone.Payload(), &m_headphone);
        }
        Reading expander = Read(Store::Fx, keys::SoundSpaceExpander);
        if (expander.outcome != Reading::Failed) {
            rules::Unpack(expander.Payload(), &m_expander);
        }
        Reading naturalBass = Read(Store::Fx, keys::NaturalBass);
        if (naturalBass.outcome != Reading::Failed) {
            rules::Unpack(naturalBass.Payload(), &m_naturalBass);
        }
        UpdateControls();
    }

    Properties m_stores[2];
    bool m_vista;
    std::optional<Fault> m_fault;
    RunPlan m_plan;

    Part m_part = Part::PageStart;
    size_t m_step = 0;
    std::map<std::string, int> m_reads, m_writes;  // this part's, by key
    int m_refresh = 0;

    bool m_client = true;
    bool m_device = true;
    DWORD m_formFactor = rules::kUnknownFormFactor;
    bool m_boxes[3] = {};
    rules::Mode m_mode;
    rules::Headphone m_headphone;
    rules::Expander m_expander;
    rules::Level m_level;
    rules::NaturalBass m_naturalBass;
};

}  // namespace

RunPlan PlanRun(const ModelMachine& machine, const std::optional<Fault>& fault) {
    return PageModel(machine, fault).Run();
}

}  // namespace sweep
