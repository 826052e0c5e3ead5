#pragma once

#include <windows.h>

// The narrow seam to the parts of Windows that a test machine does not have. The system calls
// these functions by their Win32 names and signatures; the product forwards every call to Win32,
// while the bench and the tests install a table of their own.
namespace platform {

struct Api {
    BOOL(WINAPI* GetVersionExW)(LPOSVERSIONINFOW info);
};

// Win32's own functions.
const Api& Win32();

// The table in use: Win32's unless another was installed.
const Api& Current();

// Puts a table in place of Win32's; nullptr restores Win32's. The table must outlive its use.
void Install(const Api* api);

inline BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    return Current().GetVersionExW(info);
}

}  // namespace platform
