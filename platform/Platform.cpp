#include "platform/Platform.h"

#include <atomic>

namespace platform {
namespace {

const Api kWin32 = {
    ::GetVersionExW,
    ::SetupDiCreateDeviceInfoList,
    ::SetupDiGetClassDevsW,
    ::SetupDiEnumDeviceInterfaces,
    ::SetupDiGetDeviceInterfaceDetailW,
    ::SetupDiDeleteDeviceInterfaceData,
    ::SetupDiDestroyDeviceInfoList,
    ::CreateFileW,
    ::DeviceIoControl,
    ::CloseHandle,
    ::GetLastError,
    ::PostMessageW,
};

std::atomic<const Api*> g_current{&kWin32};

}  // namespace

const Api& Win32() {
    return kWin32;
}

const Api& Current() {
    return *g_current.load(std::memory_order_acquire);
}

void Install(const Api* api) {
    g_current.store(api ? api : &kWin32, std::memory_order_release);
}

}  // namespace platform
