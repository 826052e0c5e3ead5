#pragma once

#include <windows.h>

namespace sim {

// How GetVersionExW fails on the simulated machine.
enum class VersionQueryFailure {
    None,
    ExtendedOnly,  // fails for OSVERSIONINFOEXW (284 bytes), answers OSVERSIONINFOW (276 bytes)
    Both,          // fails for both structure sizes
};

// Makes GetVersionExW, asked through the platform seam, answer major.minor (or fail) until the
// object goes out of scope; the previous answer comes back then. The simulated audio service's
// components follow the version set here even while the query itself is made to fail.
class ScopedWindowsVersion {
public:
    ScopedWindowsVersion(DWORD major, DWORD minor,
                         VersionQueryFailure failure = VersionQueryFailure::None);
    ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
    ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;
    ~ScopedWindowsVersion();

    // Calls of GetVersionExW since this object was made, and how many of them failed.
    int Calls() const;
    int Failures() const;

private:
    DWORD m_previousMajor, m_previousMinor;
    VersionQueryFailure m_previousFailure;
    bool m_previousSet;
    int m_callsAtStart, m_failuresAtStart;
};

// The Windows version of the simulated machine: the one a ScopedWindowsVersion set, otherwise
// the version Wine reports.
void SimulatedWindowsVersion(DWORD* major, DWORD* minor);

}  // namespace sim
