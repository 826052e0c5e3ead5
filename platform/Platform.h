#pragma once

#include <windows.h>
#include <setupapi.h>

// The narrow seam to the parts of Windows that a test machine does not have, or has only in a
// kinder form: the Windows version, the codec driver with the device-setup calls that find it,
// and the posting of messages (Wine takes far more posted messages than Windows' quota). The system
// calls these functions by their Win32 names and signatures; the product forwards every call to
// Win32, while the bench and the tests install a table of their own.
namespace platform {

struct Api {
    BOOL(WINAPI* GetVersionExW)(LPOSVERSIONINFOW info);

    HDEVINFO(WINAPI* SetupDiCreateDeviceInfoList)(const GUID* classGuid, HWND parent);
    HDEVINFO(WINAPI* SetupDiGetClassDevsW)
    (const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
    BOOL(WINAPI* SetupDiEnumDeviceInterfaces)
    (HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass, DWORD memberIndex,
     PSP_DEVICE_INTERFACE_DATA interfaceData);
    BOOL(WINAPI* SetupDiGetDeviceInterfaceDetailW)
    (HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
     PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize, PDWORD requiredSize,
     PSP_DEVINFO_DATA deviceInfo);
    BOOL(WINAPI* SetupDiDeleteDeviceInterfaceData)
    (HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData);
    BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO set);

    HANDLE(WINAPI* CreateFileW)
    (LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
     DWORD creation, DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* DeviceIoControl)
    (HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
     LPDWORD returned, LPOVERLAPPED overlapped);
    BOOL(WINAPI* CloseHandle)(HANDLE handle);
    DWORD(WINAPI* GetLastError)();

    BOOL(WINAPI* PostMessageW)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
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

inline HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent) {
    return Current().SetupDiCreateDeviceInfoList(classGuid, parent);
}
inline HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                     DWORD flags) {
    return Current().SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
}
inline BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                        const GUID* interfaceClass, DWORD memberIndex,
                                        PSP_DEVICE_INTERFACE_DATA interfaceData) {
    return Current().SetupDiEnumDeviceInterfaces(set, deviceInfo, interfaceClass, memberIndex,
                                                 interfaceData);
}
inline BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                             DWORD detailSize, PDWORD requiredSize,
                                             PSP_DEVINFO_DATA deviceInfo) {
    return Current().SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, detailSize,
                                                      requiredSize, deviceInfo);
}
inline BOOL SetupDiDeleteDeviceInterfaceData(HDEVINFO set,
                                             PSP_DEVICE_INTERFACE_DATA interfaceData) {
    return Current().SetupDiDeleteDeviceInterfaceData(set, interfaceData);
}
inline BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    return Current().SetupDiDestroyDeviceInfoList(set);
}

inline HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                          HANDLE templateFile) {
    return Current().CreateFileW(fileName, access, shareMode, security, creation, flags,
                                 templateFile);
}
inline BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    return Current().DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}
inline BOOL CloseHandle(HANDLE handle) {
    return Current().CloseHandle(handle);
}
inline DWORD GetLastError() {
    return Current().GetLastError();
}

inline BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Current().PostMessageW(window, message, wParam, lParam);
}

}  // namespace platform
