// The per-user switch "Enable_Front_Panel_Jack_Detect" as any registry type with any bytes, up
// to and past the 260 the program reads. The detection is off only when the value was read and
// its text, up to its first 0 unit, converts to 0.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/badinput/GuardedMemory.h"
#include "bench/badinput/Kinds.h"
#include "driver/FrontPanelSwitch.h"

namespace badinput {
namespace {

constexpr wchar_t kSwitchKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default\\KelpaINI\\Kelpa\\OPTIONS";
constexpr wchar_t kValueName[] = L"Enable_Front_Panel_Jack_Detect";
constexpr DWORD kReadBytes = 260;

const std::vector<DWORD> kTypes = {
    REG_SZ,    REG_SZ,    REG_SZ,     REG_EXPAND_SZ, REG_MULTI_SZ,
    REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE,      REG_DWORD_BIG_ENDIAN};

// Units a switch text is made of: mostly the ones the number reading cares about.
wchar_t TextUnit(Random& random) {
    static const wchar_t kUnits[] = L"0000123456789 \t\n\v\f\r+-x";
    switch (random.Between(0, 7)) {
        case 0: return static_cast<wchar_t>(random.Between(0, 0xFFFF));
        case 1: return L'\0';
        default: return kUnits[random.Between(0, sizeof kUnits / sizeof(wchar_t) - 2)];
    }
}

std::vector<BYTE> MakeBytes(Random& random) {
    size_t size;
    switch (random.Between(0, 4)) {
        case 0: size = random.Between(0, 16); break;
        case 1: size = random.Between(255, 265); break;  // around what the program reads
        case 2: size = random.Between(266, 1000); break;
        default: size = random.Between(0, 300); break;
    }
    std::vector<BYTE> bytes(size);
    if (random.OneIn(6)) {
        return random.Bytes(size);
    }
    // Text: leading blanks and zeros make long values whose digit comes late.
    size_t lead = random.Between(0, size / 2);
    wchar_t leader = random.OneIn(2) ? L'0' : L' ';
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t unit = i / 2 < lead / 2 ? leader : TextUnit(random);
        bytes[i] = static_cast<BYTE>(unit);
        bytes[i + 1] = static_cast<BYTE>(unit >> 8);
    }
    if (size % 2) {
        bytes[size - 1] = random.Byte();
    }
    return bytes;
}

// Whether the detection stays on for these stored bytes, worked out afresh: read as UTF-16 up to
// the first 0 unit, white space skipped, one sign, then a run of digits that is not all zeros.
bool ReferenceEnabled(const std::vector<BYTE>& stored) {
    if (stored.size() > kReadBytes) {
        return true;  // too long to read at all
    }
    std::vector<BYTE> bytes = stored;
    bytes.resize(kReadBytes + 2, 0);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wchar_t unit = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        text += unit;
    }
    size_t at = text.find_first_not_of(L" \t\n\v\f\r");
    if (at == std::wstring::npos) {
        return false;
    }
    if (text[at] == L'+' || text[at] == L'-') {
        ++at;
    }
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (text[at] != L'0') {
            return true;
        }
    }
    return false;
}

// Stores the value from a guarded copy. The registry reads one unit past a string value to see
// whether it ends there, so a string's copy carries two filler bytes that are not 0.
bool StoreSwitch(DWORD type, const std::vector<BYTE>& bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    GuardedBuffer copy(bytes.size() + (text ? 2 : 0));
    if (!bytes.empty()) {
        std::memcpy(copy.Data(), bytes.data(), bytes.size());
    }
    if (text) {
        std::memset(copy.As<BYTE>() + bytes.size(), 'x', 2);
    }
    LSTATUS status =
        RegSetValueExW(key, kValueName, 0, type, copy.As<BYTE>(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// What the registry holds now: the value's bytes, or nothing.
bool ReadBack(std::vector<BYTE>* stored) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    stored->assign(4096, 0);
    DWORD size = static_cast<DWORD>(stored->size());
    LSTATUS status = RegQueryValueExW(key, kValueName, nullptr, nullptr, stored->data(), &size);
    RegCloseKey(key);
    stored->resize(status == ERROR_SUCCESS ? size : 0);
    return status == ERROR_SUCCESS;
}

void DeleteSwitch() {
    RegDeleteTreeW(HKEY_CURRENT_USER,
                   L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default");
}

}  // namespace

bool SweepSwitchValues(const SweepOptions& options) {
    Random random(options.seed ^ 0x737769);
    Tally tally("bad switch values");
    ProcessHoldings holdings;
    for (size_t i = 0; i < options.count; ++i) {
        SetCurrentInput("bad switch values", i);
        DWORD type =
            random.OneIn(8) ? static_cast<DWORD>(random.Between(0, 0xFFFF)) : random.Pick(kTypes);
        std::vector<BYTE> bytes = MakeBytes(random);
        bool stored = false;
        if (random.OneIn(40)) {
            DeleteSwitch();  // no key at all
        } else if (random.OneIn(40) || !(stored = StoreSwitch(type, bytes))) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_SET_VALUE, &key) ==
                ERROR_SUCCESS) {
                RegDeleteValueW(key, kValueName);  // the key without the value
                RegCloseKey(key);
            }
        }
        std::vector<BYTE> kept;
        bool read = ReadBack(&kept);
        if (read != stored || (stored && kept != bytes)) {
            tally.Fail("the registry kept " + std::to_string(kept.size()) + " of " +
                       std::to_string(bytes.size()) + " bytes of type " + std::to_string(type));
            continue;
        }
        bool expected = !read || ReferenceEnabled(kept);
        bool enabled = IsFrontPanelJackDetectEnabled() != FALSE;
        if (enabled != expected) {
            std::wstring shown;
            for (size_t b = 0; b + 1 < kept.size(); b += 2) {
                shown += static_cast<wchar_t>(kept[b] | kept[b + 1] << 8);
            }
            tally.Fail(std::string("detection ") + (enabled ? "on" : "off") + " for type " +
                       std::to_string(type) + ", " + std::to_string(kept.size()) + " bytes \"" +
                       Narrow(shown) + "\"");
        } else {
            tally.Pass();
        }
    }
    DeleteSwitch();
    holdings.LeftBehindSince(tally);
    return tally.Report(options.count);
}

}  // namespace badinput
