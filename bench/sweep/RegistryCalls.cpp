#include "bench/sweep/RegistryCalls.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "sim/platform/ImportTable.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/Locks.h"

namespace sweep {
namespace {

using RegOpenKeyExWFunction = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using RegQueryValueExWFunction = LSTATUS(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegCloseKeyFunction = LSTATUS(WINAPI*)(HKEY);

RegOpenKeyExWFunction g_regOpenKeyExW = nullptr;
RegQueryValueExWFunction g_regQueryValueExW = nullptr;
RegCloseKeyFunction g_regCloseKey = nullptr;

constexpr wchar_t kSwitchKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default\\KelpaINI\\Kelpa\\OPTIONS";
constexpr wchar_t kValueName[] = L"Enable_Front_Panel_Jack_Detect";
constexpr wchar_t kSwitchText[] = L"1";
constexpr DWORD kUnusableNumber = 1;

sim::SlimLock g_mutex;
std::vector<HKEY> g_openKeys;
// Handles of the switch's key: far from the values Wine gives its own keys.
UINT_PTR g_nextKey = 0x7E570000;

bool IsOpenSwitchKey(HKEY key) {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    return std::find(g_openKeys.begin(), g_openKeys.end(), key) != g_openKeys.end();
}

// The path as the program gives it, with or without a closing backslash.
bool IsSwitchKey(HKEY root, LPCWSTR path) {
    if (root != HKEY_CURRENT_USER || !path) {
        return false;
    }
    size_t length = wcslen(path);
    while (length && path[length - 1] == L'\\') {
        --length;
    }
    return length == wcslen(kSwitchKey) && _wcsnicmp(path, kSwitchKey, length) == 0;
}

// A key handle is the key: opening has no unusable answer.
LSTATUS WINAPI SweptRegOpenKeyExW(HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                  PHKEY result) {
    if (!IsSwitchKey(root, path)) {
        return g_regOpenKeyExW(root, path, options, access, result);
    }
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (sim::call_sweep::Fails("RegOpenKeyExW(KelpaINI\\Kelpa\\OPTIONS)")) {
        return ERROR_ACCESS_DENIED;
    }
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    *result = reinterpret_cast<HKEY>(g_nextKey);
    g_nextKey += 4;
    g_openKeys.push_back(*result);
    return ERROR_SUCCESS;
}

// The value's bytes as RegQueryValueExW hands them out: the size alone without a buffer,
// ERROR_MORE_DATA with the size when the buffer is too small.
LSTATUS Answer(DWORD type, const void* bytes, DWORD size, LPDWORD typeOut, LPBYTE data,
               LPDWORD dataSize) {
    if (data && !dataSize) {
        return ERROR_INVALID_PARAMETER;
    }
    if (typeOut) {
        *typeOut = type;
    }
    if (!dataSize) {
        return ERROR_SUCCESS;
    }
    DWORD room = *dataSize;
    *dataSize = size;
    if (!data) {
        return ERROR_SUCCESS;
    }
    if (room < size) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes, size);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI SweptRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                     LPBYTE data, LPDWORD dataSize) {
    if (!IsOpenSwitchKey(key)) {
        return g_regQueryValueExW(key, name, reserved, type, data, dataSize);
    }
    if (!name || _wcsicmp(name, kValueName) != 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    // Unusable: a value of another type, the number 1 as a REG_DWORD where text is expected.
    switch (sim::call_sweep::AnswerFor("RegQueryValueExW(Enable_Front_Panel_Jack_Detect)",
                                       sim::call_sweep::Offer::FailureOrUnusable)) {
        case sim::call_sweep::Answer::Failure: return ERROR_FILE_NOT_FOUND;
        case sim::call_sweep::Answer::Unusable:
            return Answer(REG_DWORD, &kUnusableNumber, sizeof kUnusableNumber, type, data,
                          dataSize);
        case sim::call_sweep::Answer::Ordinary: break;
    }
    return Answer(REG_SZ, kSwitchText, sizeof kSwitchText, type, data, dataSize);
}

// A failing close still closes, as the other teardown calls of the sweep do.
LSTATUS WINAPI SweptRegCloseKey(HKEY key) {
    {
        std::lock_guard<sim::SlimLock> lock(g_mutex);
        auto found = std::find(g_openKeys.begin(), g_openKeys.end(), key);
        if (found == g_openKeys.end()) {
            return g_regCloseKey(key);
        }
        g_openKeys.erase(found);
    }
    return sim::call_sweep::Fails("RegCloseKey(KelpaINI\\Kelpa\\OPTIONS)") ? ERROR_INVALID_HANDLE
                                                                           : ERROR_SUCCESS;
}

}  // namespace

bool RouteRegistryCallsThroughSweep() {
    return sim::ReplaceImport("advapi32.dll", "RegOpenKeyExW",
                              reinterpret_cast<void*>(&SweptRegOpenKeyExW),
                              reinterpret_cast<void**>(&g_regOpenKeyExW)) &&
           sim::ReplaceImport("advapi32.dll", "RegQueryValueExW",
                              reinterpret_cast<void*>(&SweptRegQueryValueExW),
                              reinterpret_cast<void**>(&g_regQueryValueExW)) &&
           sim::ReplaceImport("advapi32.dll", "RegCloseKey",
                              reinterpret_cast<void*>(&SweptRegCloseKey),
                              reinterpret_cast<void**>(&g_regCloseKey));
}

std::string OpenSwitchKeys() {
    std::lock_guard<sim::SlimLock> lock(g_mutex);
    return g_openKeys.empty() ? "" : std::to_string(g_openKeys.size()) + " key(s) open";
}

}  // namespace sweep
