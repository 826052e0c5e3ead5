#include "sim/platform/WindowsVersion.h"

#include <atomic>

#include "sim/platform/CallSweep.h"
#include "sim/platform/StandInApi.h"

namespace sim {
namespace {

// The two sizes GetVersionExW accepts on 64-bit Windows.
constexpr DWORD kExtendedSize = 284;  // OSVERSIONINFOEXW
constexpr DWORD kPlainSize = 276;     // OSVERSIONINFOW
static_assert(sizeof(OSVERSIONINFOEXW) == kExtendedSize && sizeof(OSVERSIONINFOW) == kPlainSize);

struct VersionState {
    bool set = false;
    DWORD major = 0;
    DWORD minor = 0;
    VersionQueryFailure failure = VersionQueryFailure::None;
};

VersionState g_version;
std::atomic<int> g_calls{0};
std::atomic<int> g_failures{0};

DWORD BuildFor(DWORD major, DWORD minor) {
    if (major == 6 && minor == 0)
        return 6002;
    if (major == 6 && minor == 1)
        return 7601;
    if (major == 6 && minor == 2)
        return 9200;
    if (major == 5)
        return 2600;
    return 0;
}

BOOL WINAPI StandInGetVersionExW(LPOSVERSIONINFOW info) {
    ++g_calls;
    if (!info ||
        (info->dwOSVersionInfoSize != kExtendedSize && info->dwOSVersionInfoSize != kPlainSize)) {
        ++g_failures;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool extended = info->dwOSVersionInfoSize == kExtendedSize;
    // Unusable: 6.2, what Windows 8 and every later version tell a program that does not declare
    // them in its manifest.
    DWORD major = g_version.major, minor = g_version.minor;
    switch (call_sweep::AnswerFor("GetVersionExW", call_sweep::Offer::FailureOrUnusable)) {
        case call_sweep::Answer::Failure:
            ++g_failures;
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        case call_sweep::Answer::Unusable:
            major = 6;
            minor = 2;
            break;
        case call_sweep::Answer::Ordinary: break;
    }
    if (g_version.failure == VersionQueryFailure::Both ||
        (extended && g_version.failure == VersionQueryFailure::ExtendedOnly)) {
        ++g_failures;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    ZeroMemory(info, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = BuildFor(major, minor);
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    if (extended) {
        reinterpret_cast<OSVERSIONINFOEXW*>(info)->wProductType = VER_NT_WORKSTATION;
    }
    return TRUE;
}

}  // namespace

ScopedWindowsVersion::ScopedWindowsVersion(DWORD major, DWORD minor, VersionQueryFailure failure)
    : m_previousMajor(g_version.major),
      m_previousMinor(g_version.minor),
      m_previousFailure(g_version.failure),
      m_previousSet(g_version.set),
      m_callsAtStart(g_calls.load()),
      m_failuresAtStart(g_failures.load()) {
    g_version = {true, major, minor, failure};
    StandInApi().GetVersionExW = StandInGetVersionExW;
    UseStandInApi();
}

ScopedWindowsVersion::~ScopedWindowsVersion() {
    g_version = {m_previousSet, m_previousMajor, m_previousMinor, m_previousFailure};
    if (!m_previousSet) {
        StandInApi().GetVersionExW = platform::Win32().GetVersionExW;
    }
}

int ScopedWindowsVersion::Calls() const {
    return g_calls.load() - m_callsAtStart;
}

int ScopedWindowsVersion::Failures() const {
    return g_failures.load() - m_failuresAtStart;
}

void SimulatedWindowsVersion(DWORD* major, DWORD* minor) {
    if (g_version.set) {
        *major = g_version.major;
        *minor = g_version.minor;
        return;
    }
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    platform::Win32().GetVersionExW(&info);
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
}

}  // namespace sim
