// The driver link as the model follows it: discovery of the private interface, the query exchange,
// the effect-support answer and the headphone policy with its per-user switch.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/sweep/RulesModel.h"

namespace sweep {
namespace {

constexpr DWORD kPolicyControl = 0x001D6004;
constexpr DWORD kJackControl = 0x001D6038;
constexpr DWORD kSupportControl = 0x001D6070;
constexpr DWORD kRetaskingControl = 0x001D608C;
constexpr DWORD kChipRetaskingControl = 0x001D60C8;

constexpr wchar_t kClassText[] = L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}";
constexpr const wchar_t* kFamilies[] = {L"ven_9e5b&dev_4c2", L"ven_9e5b&dev_b36",
                                        L"ven_9e5b&dev_b37"};
constexpr const wchar_t* kPatterns[] = {
    L"ven_9e5b&dev_X615", L"ven_9e5b&dev_X587", L"ven_9e5b&dev_X731", L"ven_9e5b&dev_c583",
    L"ven_9e5b&dev_X246", L"ven_9e5b&dev_X809", L"ven_9e5b&dev_X372", L"ven_9e5b&dev_X953"};
constexpr size_t kPatternLength = 17;

std::string Hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// A field of an answer; bytes the driver did not return read as 0.
template <typename T>
T Field(const std::vector<BYTE>& answer, size_t offset) {
    T value = 0;
    if (offset < answer.size()) {
        std::memcpy(&value, answer.data() + offset, std::min(sizeof value, answer.size() - offset));
    }
    return value;
}

template <typename T>
void PutField(std::vector<BYTE>& bytes, size_t offset, T value) {
    bytes.resize(std::max(bytes.size(), offset + sizeof value));
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

bool RulesModel::IsSupportedPath(const std::wstring& path) {
    bool codec = std::any_of(std::begin(kFamilies), std::end(kFamilies), [&](const wchar_t* text) {
        return path.find(text) != std::wstring::npos;
    });
    for (const wchar_t* pattern : kPatterns) {
        for (size_t at = 0; !codec && at + kPatternLength <= path.size(); ++at) {
            bool match = true;
            for (size_t i = 0; i < kPatternLength && match; ++i) {
                match = pattern[i] == L'X' || pattern[i] == path[at + i];
            }
            codec = match;
        }
    }
    bool named = path.find(L"xanwdm") != std::wstring::npos;
    return path.find(kClassText) != std::wstring::npos && (codec || named);
}

bool RulesModel::MakeSpareSetAndFind(const std::string& who, DriverDevice* device) {
    if (!Ok(Call("SetupDiCreateDeviceInfoList", false, who + ": the spare set"))) {
        return false;
    }
    FindDevice(who, device);
    return true;
}

// Member 0 is asked for each time, every examined interface being deleted; the last one accepted
// is the one found. A failed class listing gives an invalid set, on which nothing more is made.
void RulesModel::FindDevice(const std::string& who, DriverDevice* device) {
    Answer listing = Call("SetupDiGetClassDevsW", true, who + ": the interfaces present");
    if (listing != Answer::Failure) {
        std::vector<std::wstring> members;
        if (listing == Answer::Ordinary) {
            members = m_driver.interfaces;
        }
        size_t index = 0;
        for (;;) {
            Answer next = Call("SetupDiEnumDeviceInterfaces " + std::to_string(index), false,
                               who + ": the next interface");
            if (!Ok(next) || index >= members.size()) {
                break;
            }
            if (Ok(Call("SetupDiGetDeviceInterfaceDetailW size", true,
                        who + ": the size of its path")) &&
                Ok(Call("SetupDiGetDeviceInterfaceDetailW", false, who + ": its path"))) {
                const std::wstring& path = members[index];
                if (path.size() < 260 && IsSupportedPath(path)) {
                    device->found = true;
                }
            }
            if (Ok(Call("SetupDiDeleteDeviceInterfaceData", false,
                        who + ": the examined interface, taken out"))) {
                members.erase(members.begin() + static_cast<std::ptrdiff_t>(index));
            } else if (Takes(Departure::FailedDeleteStepsPast)) {
                ++index;
            } else {
                break;  // member 0 again, for ever: nothing to follow
            }
        }
        Call("SetupDiDestroyDeviceInfoList class", false, who + ": the interfaces' set destroyed");
    }
    Call("SetupDiDestroyDeviceInfoList spare", false, who + ": the spare set destroyed");
}

// Open, control, close, the close before the answer is looked at. An answer with no bytes leaves
// every field 0.
bool RulesModel::Query(const std::string& who, DWORD code, std::vector<BYTE>* answer) {
    answer->clear();
    if (!Ok(Call("CreateFileW", false, who + ": the device opened"))) {
        return false;
    }
    Answer control = Call("DeviceIoControl " + Hex(code), true, who);
    Call("CloseHandle", false, who + ": the device's handle closed");
    if (control == Answer::Failure) {
        return false;
    }
    if (control == Answer::Ordinary) {
        switch (code) {
            case kPolicyControl:
                answer->assign(128, 0);
                PutField<DWORD>(*answer, 16, m_driver.policy);
                break;
            case kJackControl: PutField<WORD>(*answer, 0, m_driver.jack); break;
            case kSupportControl: PutField<DWORD>(*answer, 0, m_driver.effectSupport); break;
            case kRetaskingControl:
                PutField<DWORD>(*answer, 0, m_driver.retasking[0]);
                PutField<DWORD>(*answer, 4, m_driver.retasking[1]);
                break;
            case kChipRetaskingControl:
                PutField<DWORD>(*answer, 0, m_driver.chipRetasking[0]);
                PutField<DWORD>(*answer, 4, m_driver.chipRetasking[1]);
                break;
            default: break;
        }
    }
    return true;
}

DWORD RulesModel::EffectSupportMask() {
    std::vector<BYTE> answer;
    Query("the effect-support query", kSupportControl, &answer);
    return Field<DWORD>(answer, 0);
}

// The sweep's per-user switch holds the text "1": the detection stays on. Its unusable answer is
// the number 1 stored as a REG_DWORD, whose bytes read as text have no digit: 0, detection off.
bool RulesModel::SwitchTurnsDetectionOff() {
    if (!Ok(Call("RegOpenKeyExW(KelpaINI\\Kelpa\\OPTIONS)", false, "the per-user switch's key"))) {
        return false;
    }
    Answer value =
        Call("RegQueryValueExW(Enable_Front_Panel_Jack_Detect)", true, "the per-user switch");
    Call("RegCloseKey(KelpaINI\\Kelpa\\OPTIONS)", false, "the per-user switch's key closed");
    return value == Answer::Unusable;
}

// Whether the speakers play into front-panel headphones; every failure gives the speaker face.
bool RulesModel::HeadphonesActive() {
    const std::string who = "the headphone policy";
    if (SwitchTurnsDetectionOff()) {
        return false;
    }
    DriverDevice device;
    if (!MakeSpareSetAndFind(who, &device) || !device.found) {
        return false;
    }
    std::vector<BYTE> answer;
    if (!Query(who, kPolicyControl, &answer) || Field<DWORD>(answer, 16) != 1) {
        return false;
    }
    WORD jack = 0;
    if (Query("the jack status", kJackControl, &answer)) {
        jack = Field<WORD>(answer, 0);
    }
    bool active = false;
    bool generic = Query("the front-panel retasking", kRetaskingControl, &answer);
    if (generic) {
        active = (Field<DWORD>(answer, 0) != 1 && (jack & 0x10)) ||
                 (Field<DWORD>(answer, 4) != 1 && (jack & 0x20));
    }
    if (Query("the chip's front-panel retasking", kChipRetaskingControl, &answer)) {
        active = active || (Field<DWORD>(answer, 0) != 3 && (jack & 0x10)) ||
                 (Field<DWORD>(answer, 4) != 3 && (jack & 0x20));
    } else if (!generic) {
        active = (jack & 0x10) != 0;
    }
    return active;
}

}  // namespace sweep
