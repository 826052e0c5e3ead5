#include "driver/DriverQuery.h"

#include <strsafe.h>

#include <cstring>

#include "platform/Platform.h"

namespace {

// "<step>: CreateFile: INVALID_HANDLE_VALUE\n" or "<step>: DeviceIoControl: <control> failed\n".
void Report(const WCHAR* step, const WCHAR* controlName) {
    WCHAR line[MAX_PATH];
    if (controlName) {
        StringCchPrintfW(line, MAX_PATH, L"%ls: DeviceIoControl: %ls failed\n", step, controlName);
    } else {
        StringCchPrintfW(line, MAX_PATH, L"%ls: CreateFile: INVALID_HANDLE_VALUE\n", step);
    }
    OutputDebugStringW(line);
}

}  // namespace

BOOL QueryHDAudDevice(const HDAudDeviceInfo* device, DWORD code, void* answer, DWORD answerSize,
                      DWORD* returned, const WCHAR* step, const WCHAR* controlName) {
    *returned = 0;
    std::memset(answer, 0, answerSize);
    if (!device || !device->interfaceDetail) {
        Report(step, nullptr);
        return FALSE;
    }
    HANDLE handle = platform::CreateFileW(
        device->interfaceDetail->DevicePath, GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Report(step, nullptr);
        return FALSE;
    }
    BOOL ok =
        platform::DeviceIoControl(handle, code, nullptr, 0, answer, answerSize, returned, nullptr);
    platform::CloseHandle(handle);
    if (!ok) {
        *returned = 0;
        std::memset(answer, 0, answerSize);
        Report(step, controlName);
        return FALSE;
    }
    if (*returned < answerSize) {
        std::memset(static_cast<BYTE*>(answer) + *returned, 0, answerSize - *returned);
    } else {
        *returned = answerSize;
    }
    return TRUE;
}
