#include "driver/DriverQuery.h"

#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace {

void Report(const WCHAR* step, const WCHAR* call, const std::wstring& detail) {
    std::wstring line = std::wstring(step) + L": " + call + L": " + detail + L"\n";
    OutputDebugStringW(line.c_str());
}

}  // namespace

BOOL QueryHDAudDevice(const HDAudDeviceInfo* device, DWORD code, void* answer, DWORD answerSize,
                      DWORD* returned, const WCHAR* step, const WCHAR* controlName) {
    *returned = 0;
    std::memset(answer, 0, answerSize);
    if (!device || !device->interfaceDetail) {
        Report(step, L"CreateFile", L"INVALID_HANDLE_VALUE");
        return FALSE;
    }
    HANDLE handle = platform::CreateFileW(
        device->interfaceDetail->DevicePath, GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Report(step, L"CreateFile", L"INVALID_HANDLE_VALUE");
        return FALSE;
    }
    BOOL ok =
        platform::DeviceIoControl(handle, code, nullptr, 0, answer, answerSize, returned, nullptr);
    platform::CloseHandle(handle);
    if (!ok) {
        *returned = 0;
        std::memset(answer, 0, answerSize);
        Report(step, L"DeviceIoControl", std::wstring(controlName) + L" failed");
        return FALSE;
    }
    if (*returned < answerSize) {
        std::memset(static_cast<BYTE*>(answer) + *returned, 0, answerSize - *returned);
    } else {
        *returned = answerSize;
    }
    return TRUE;
}
