#include "driver/FrontPanelSwitch.h"

#include <strsafe.h>

#include <climits>

namespace {

constexpr WCHAR kServiceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default\\KelpaINI";
constexpr WCHAR kSection[] = L"Kelpa";
constexpr WCHAR kOptions[] = L"OPTIONS";
constexpr WCHAR kValueName[] = L"Enable_Front_Panel_Jack_Detect";

// The value is read into 260 bytes; one unit more keeps a value that fills them terminated.
constexpr DWORD kValueBytes = 260;

bool IsBlank(WCHAR c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

}  // namespace

long ParseSwitchNumber(const WCHAR* text) {
    while (IsBlank(*text)) {
        ++text;
    }
    bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') {
        ++text;
    }
    long long number = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        number = number * 10 + (*text - L'0');
        if (number > LONG_MAX) {
            number = static_cast<long long>(LONG_MAX) + 1;  // stays non-zero, never overflows
        }
    }
    if (negative) {
        number = -number;
    }
    return static_cast<long>(number < LONG_MIN ? LONG_MIN : number > LONG_MAX ? LONG_MAX : number);
}

BOOL IsFrontPanelJackDetectEnabled() {
    WCHAR keyPath[MAX_PATH] = {};
    if (FAILED(StringCchPrintfW(keyPath, MAX_PATH, L"%ls\\%ls\\%ls\\", kServiceKey, kSection,
                                kOptions))) {
        return TRUE;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return TRUE;
    }
    WCHAR text[kValueBytes / sizeof(WCHAR) + 1] = {};
    DWORD size = kValueBytes;
    LSTATUS status =
        RegQueryValueExW(key, kValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    // Whatever the value's type, its bytes are taken as text.
    return status != ERROR_SUCCESS || ParseSwitchNumber(text) != 0;
}
