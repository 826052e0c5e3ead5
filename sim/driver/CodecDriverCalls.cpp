// The device-setup and device I/O calls the codec driver stand-in puts in place of Win32's.
#include "sim/driver/CodecDriver.h"

#include <algorithm>
#include <mutex>
#include <cstdio>
#include <cstring>

#include "sim/driver/CodecDriverState.h"
#include "sim/platform/StandInApi.h"

namespace sim::driver {

// The fixed parts of the setup structures on 64-bit Windows.
constexpr DWORD kInterfaceDataSize = 32;   // SP_DEVICE_INTERFACE_DATA
constexpr DWORD kInterfaceDetailSize = 8;  // SP_DEVICE_INTERFACE_DETAIL_DATA_W, as cbSize
constexpr DWORD kDevicePathOffset = 4;     // of DevicePath in the detail block
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == kInterfaceDataSize &&
              sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == kInterfaceDetailSize &&
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == kDevicePathOffset);

namespace {

ScopedCodecDriver::State* g_state = nullptr;

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

BOOL Failed(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HDEVINFO WINAPI StandInCreateDeviceInfoList(const GUID* classGuid, HWND parent) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("SetupDiCreateDeviceInfoList");
    if (classGuid || parent) {
        g_state->unexpected.push_back("SetupDiCreateDeviceInfoList with a class or a window");
    }
    // An empty set is all this call ever gives: it has no unusable answer.
    if (DWORD error = g_state->FailureFor(Step::CreateSpareSet)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return g_state->NewSet(true, {});
}

HDEVINFO WINAPI StandInGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("SetupDiGetClassDevsW");
    g_state->lastClassDevsFlags = flags;
    // Unusable: an empty set, as when no interface of the class is present.
    bool unusable = false;
    if (DWORD error = g_state->FailureFor(Step::GetClassDevs, 0, &unusable)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<size_t> members;
    if (!unusable && classGuid && IsEqualGUID(*classGuid, kInterfaceClass)) {
        for (size_t i = 0; i < g_state->interfaces.size(); ++i) {
            members.push_back(i);
        }
    }
    return g_state->NewSet(false, std::move(members));
}

BOOL WINAPI StandInEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                        const GUID* interfaceClass, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("SetupDiEnumDeviceInterfaces " + std::to_string(index));
    if (deviceInfo || !interfaceClass || !IsEqualGUID(*interfaceClass, kInterfaceClass)) {
        g_state->unexpected.push_back(
            "SetupDiEnumDeviceInterfaces with a device element or another class");
    }
    DeviceInfoSet* info = g_state->FindSet(set);
    if (!info) {
        return Failed(ERROR_INVALID_HANDLE);
    }
    if (!data || data->cbSize != kInterfaceDataSize) {
        g_state->unexpected.push_back("SetupDiEnumDeviceInterfaces with a bad cbSize");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    // An interface is listed or the list has ended: no unusable answer.
    if (DWORD error = g_state->FailureFor(Step::EnumInterfaces)) {
        return Failed(error);
    }
    if (index >= info->interfaces.size()) {
        return Failed(ERROR_NO_MORE_ITEMS);
    }
    data->InterfaceClassGuid = kInterfaceClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = info->interfaces[index] + 1;
    return TRUE;
}

BOOL WINAPI StandInGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                             PDWORD required, PSP_DEVINFO_DATA) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back(detail ? "SetupDiGetDeviceInterfaceDetailW"
                                    : "SetupDiGetDeviceInterfaceDetailW size");
    DeviceInfoSet* info = g_state->FindSet(set);
    if (!info || !data || data->Reserved == 0 || data->Reserved > g_state->interfaces.size()) {
        return Failed(ERROR_INVALID_PARAMETER);
    }
    const std::wstring& path = g_state->interfaces[data->Reserved - 1];
    bool terminated = g_state->sizeAnswer != SizeAnswer::NoTerminator;
    DWORD needed = kDevicePathOffset +
                   static_cast<DWORD>((path.size() + (terminated ? 1 : 0)) * sizeof(WCHAR));
    if (!detail) {
        // Unusable: success with a size of 0, a size no block can have.
        bool unusable = false;
        if (DWORD error = g_state->FailureFor(Step::SizeQuery, 0, &unusable)) {
            return Failed(error);
        }
        if (unusable) {
            if (required) {
                *required = 0;
            }
            return TRUE;
        }
        if (required) {
            *required = g_state->sizeAnswer == SizeAnswer::ZeroSize   ? 0
                        : g_state->sizeAnswer == SizeAnswer::TinySize ? 2
                                                                      : needed;
        }
        return g_state->sizeAnswer == SizeAnswer::Success ? TRUE
                                                          : Failed(ERROR_INSUFFICIENT_BUFFER);
    }
    // The block holds the interface's path: no unusable answer.
    if (DWORD error = g_state->FailureFor(Step::DetailCall)) {
        return Failed(error);
    }
    if (detail->cbSize != kInterfaceDetailSize) {
        g_state->unexpected.push_back("SetupDiGetDeviceInterfaceDetailW with a bad cbSize");
        return Failed(ERROR_INVALID_USER_BUFFER);
    }
    if (required) {
        *required = needed;
    }
    if (size < needed) {
        return Failed(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(detail->DevicePath, path.c_str(),
                (path.size() + (terminated ? 1 : 0)) * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI StandInDeleteDeviceInterfaceData(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("SetupDiDeleteDeviceInterfaceData");
    DeviceInfoSet* info = g_state->FindSet(set);
    if (!info || !data) {
        return Failed(ERROR_INVALID_PARAMETER);
    }
    if (DWORD error = g_state->FailureFor(Step::DeleteInterfaceData)) {
        return Failed(error);
    }
    auto member = std::find(info->interfaces.begin(), info->interfaces.end(), data->Reserved - 1);
    if (member == info->interfaces.end()) {
        return Failed(ERROR_INVALID_PARAMETER);
    }
    info->interfaces.erase(member);
    return TRUE;
}

// A failing teardown call (this one, CloseHandle) still ends what it was given: Windows fails it
// only for a handle that is no longer valid, and a program can do nothing with the failure but go
// on.
BOOL WINAPI StandInDestroyDeviceInfoList(HDEVINFO set) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    DeviceInfoSet* info = g_state->FindSet(set);
    g_state->calls.push_back(!info         ? "SetupDiDestroyDeviceInfoList invalid"
                             : info->spare ? "SetupDiDestroyDeviceInfoList spare"
                                           : "SetupDiDestroyDeviceInfoList class");
    if (!info) {
        return Failed(ERROR_INVALID_HANDLE);
    }
    g_state->sets.erase(set);
    if (DWORD error = g_state->FailureFor(Step::DestroySet)) {
        return Failed(error);
    }
    return TRUE;
}

HANDLE WINAPI StandInCreateFileW(LPCWSTR name, DWORD access, DWORD shareMode,
                                 LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                 HANDLE templateFile) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("CreateFileW");
    g_state->lastOpen = {name ? name : L"",      access, shareMode, creation, flags, !!security,
                         templateFile != nullptr};
    // A handle is the device's: no unusable answer.
    if (DWORD error = g_state->FailureFor(Step::Open)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto& paths = g_state->interfaces;
    if (!name || std::find(paths.begin(), paths.end(), name) == paths.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(g_state->nextHandle);
    g_state->nextHandle += 4;
    g_state->handles.push_back(handle);
    return handle;
}

BOOL WINAPI StandInDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                   DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("DeviceIoControl " + Hex(code));
    g_state->outputSizes[code] = outSize;
    auto& handles = g_state->handles;
    if (std::find(handles.begin(), handles.end(), device) == handles.end()) {
        g_state->unexpected.push_back("DeviceIoControl on a handle that is not open");
        return Failed(ERROR_INVALID_HANDLE);
    }
    if (in || inSize || overlapped || !returned) {
        g_state->unexpected.push_back("DeviceIoControl " + Hex(code) +
                                      " with input, overlapped or no byte count");
    }
    // Unusable: success with 0 bytes returned; a buffered control then copies nothing back, so
    // the output keeps what the caller put there.
    bool unusable = false;
    if (DWORD error = g_state->FailureFor(Step::Control, code, &unusable)) {
        return Failed(error);
    }
    auto answer = g_state->answers.find(code);
    if (answer == g_state->answers.end()) {
        return Failed(ERROR_INVALID_FUNCTION);
    }
    if (unusable) {
        if (returned) {
            *returned = 0;
        }
        return TRUE;
    }
    const std::vector<BYTE>& bytes = answer->second.bytes;
    if (out) {
        std::memcpy(out, bytes.data(), std::min<size_t>(bytes.size(), outSize));
    }
    if (returned) {
        *returned = std::min(answer->second.reported, outSize);
    }
    return TRUE;
}

BOOL WINAPI StandInCloseHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_state->mutex);
    g_state->calls.push_back("CloseHandle");
    auto& handles = g_state->handles;
    auto found = std::find(handles.begin(), handles.end(), handle);
    if (found == handles.end()) {
        g_state->unexpected.push_back("CloseHandle of a handle that is not open");
        return Failed(ERROR_INVALID_HANDLE);
    }
    handles.erase(found);
    if (DWORD error = g_state->FailureFor(Step::Close)) {
        return Failed(error);
    }
    return TRUE;
}

}  // namespace

void InstallStandInCalls(ScopedCodecDriver::State* state) {
    g_state = state;
    platform::Api& api = StandInApi();
    api.SetupDiCreateDeviceInfoList = StandInCreateDeviceInfoList;
    api.SetupDiGetClassDevsW = StandInGetClassDevsW;
    api.SetupDiEnumDeviceInterfaces = StandInEnumDeviceInterfaces;
    api.SetupDiGetDeviceInterfaceDetailW = StandInGetDeviceInterfaceDetailW;
    api.SetupDiDeleteDeviceInterfaceData = StandInDeleteDeviceInterfaceData;
    api.SetupDiDestroyDeviceInfoList = StandInDestroyDeviceInfoList;
    api.CreateFileW = StandInCreateFileW;
    api.DeviceIoControl = StandInDeviceIoControl;
    api.CloseHandle = StandInCloseHandle;
    UseStandInApi();
}

void RemoveStandInCalls() {
    const platform::Api& win32 = platform::Win32();
    platform::Api& api = StandInApi();
    api.SetupDiCreateDeviceInfoList = win32.SetupDiCreateDeviceInfoList;
    api.SetupDiGetClassDevsW = win32.SetupDiGetClassDevsW;
    api.SetupDiEnumDeviceInterfaces = win32.SetupDiEnumDeviceInterfaces;
    api.SetupDiGetDeviceInterfaceDetailW = win32.SetupDiGetDeviceInterfaceDetailW;
    api.SetupDiDeleteDeviceInterfaceData = win32.SetupDiDeleteDeviceInterfaceData;
    api.SetupDiDestroyDeviceInfoList = win32.SetupDiDestroyDeviceInfoList;
    api.CreateFileW = win32.CreateFileW;
    api.DeviceIoControl = win32.DeviceIoControl;
    api.CloseHandle = win32.CloseHandle;
    g_state = nullptr;
}

}  // namespace sim::driver
