#include "bench/sweep/Runs.h"

#include "bench/sweep/Script.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Value;

std::string RunName(const RunChoice& run) {
    return (run.windows == Windows::Vista ? "v" : "") +
           std::string(run.start == Start::Second ? "s" : "") + std::to_string(run.call) +
           (run.variant == sim::call_sweep::Variant::Unusable ? "u" : "");
}

bool ParseRunName(const std::string& text, RunChoice* run, bool faultFree) {
    size_t first = 0;
    run->windows = Windows::Seven;
    run->start = Start::First;
    if (first < text.size() && text[first] == 'v') {
        run->windows = Windows::Vista;
        ++first;
    }
    if (first < text.size() && text[first] == 's') {
        run->start = Start::Second;
        ++first;
    }
    size_t digits = first;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    std::string rest = text.substr(digits);
    if (digits == first || digits - first > 9 || (!rest.empty() && rest != "u")) {
        return false;
    }
    run->call = std::stoul(text.substr(first, digits - first));
    run->variant =
        rest.empty() ? sim::call_sweep::Variant::Failure : sim::call_sweep::Variant::Unusable;
    return run->call != 0 || (faultFree && rest.empty());
}

sim::machine::MachineState SweepMachine(Start start, Windows windows) {
    sim::machine::MachineState machine = sim::machine::DefaultMachine();
    machine.windowsMinor = windows == Windows::Vista ? 0 : 1;
    sim::machine::EndpointState* speakers = machine.Find(kSpeakers);
    sim::machine::PutEntry(speakers->properties, PKEY_AudioEngine_DeviceFormat,
                           sim::machine::DeviceFormat(96000, 24));
    if (start == Start::Second) {
        // A person's own settings, none of them a default: every effect word with fields of
        // its own, the selector at 1 with the headphone effect on.
        const std::pair<PROPERTYKEY, DWORD> words[] = {
            {keys::FirstRunMarker, 0},       {keys::ModeWord, 0x80400A39},
            {keys::Headphone, 0x80000321},   {keys::HeadphoneSelector, 1},
            {keys::SoundSpaceExpander, 0x1}, {keys::LevelWord, 0x80000007},
            {keys::NaturalBass, 0x8000622A},
        };
        for (const auto& [key, word] : words) {
            sim::machine::PutEntry(speakers->fx, key, Value::UInt32(word));
        }
    }
    return machine;
}

std::string SettingName(const Setting& setting) {
    return std::string(setting.windows == Windows::Vista ? "Windows 6.0" : "Windows 6.1") +
           (setting.start == Start::First ? ", a first run" : ", a second start");
}

std::string SettingFigurePrefix(const Setting& setting) {
    return std::string(setting.windows == Windows::Vista ? "Vista " : "") +
           (setting.start == Start::Second ? "second-start " : "");
}

}  // namespace sweep
