#include "driver/HDAudDevice.h"

#include <objbase.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "driver/CodecPath.h"
#include "platform/Platform.h"

namespace {

// The path is examined in a buffer of MAX_PATH units; a longer path names no device we support.
constexpr size_t kPathUnits = MAX_PATH;

// Reads the current interface's detail block into a new CoTaskMem block of the size the system
// asked for (*size); null when the size query, the allocation or the detail call fails.
SP_DEVICE_INTERFACE_DETAIL_DATA_W* ReadInterfaceDetail(HDEVINFO set,
                                                       SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                       DWORD* size) {
    *size = 0;
    BOOL sized =
        platform::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, nullptr, 0, size, nullptr);
    // A block too small for its size field and an empty path names nothing.
    if ((!sized && platform::GetLastError() != ERROR_INSUFFICIENT_BUFFER) ||
        *size < offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + sizeof(WCHAR)) {
        return nullptr;
    }
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(CoTaskMemAlloc(*size));
    if (!detail) {
        return nullptr;
    }
    std::memset(detail, 0, *size);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    // The size comes back again; the block stays as large as it was made.
    DWORD sizeAgain = 0;
    if (!platform::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, *size, &sizeAgain,
                                                    nullptr)) {
        CoTaskMemFree(detail);
        return nullptr;
    }
    return detail;
}

// Whether the block's DevicePath ends within the block, fits the path buffer and names a
// supported codec. A path that fills its block has no terminator: whoever opened it would read
// past the block.
bool IsAcceptedInterface(const SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size) {
    size_t available =
        (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
    size_t length = wcsnlen(detail->DevicePath, available);
    if (length >= available || length >= kPathUnits) {
        return false;
    }
    WCHAR path[kPathUnits] = {};
    std::memcpy(path, detail->DevicePath, length * sizeof(WCHAR));
    return IsSupportedCodecPath(path);
}

}  // namespace

HRESULT FindHDAudDevice(HDAudDeviceInfo* info, HDEVINFO spareSet) {
    // Nowhere to put a device: nothing is looked for, and the spare set still goes.
    if (!info) {
        platform::SetupDiDestroyDeviceInfoList(spareSet);
        return E_POINTER;
    }
    HDEVINFO set = platform::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HDAUD_PRIVATE, nullptr,
                                                  nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;

    // Every interface examined is deleted from the set, so the next one is always at index 0.
    // An interface that cannot be deleted stays in front of the rest: the index steps past it.
    DWORD index = 0;
    while (platform::SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HDAUD_PRIVATE,
                                                 index, &interfaceData)) {
        DWORD size = 0;
        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = ReadInterfaceDetail(set, &interfaceData, &size);
        if (detail && IsAcceptedInterface(detail, size)) {
            auto* copy = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(CoTaskMemAlloc(size));
            if (copy) {
                std::memcpy(copy, detail, size);
                // Of several accepted interfaces the last one enumerated is kept.
                ReleaseHDAudDevice(info);
                info->interfaceDetail = copy;
            }
        }
        CoTaskMemFree(detail);
        if (!platform::SetupDiDeleteDeviceInterfaceData(set, &interfaceData)) {
            ++index;
        }
    }

    platform::SetupDiDestroyDeviceInfoList(set);
    platform::SetupDiDestroyDeviceInfoList(spareSet);
    return S_OK;
}

void ReleaseHDAudDevice(HDAudDeviceInfo* info) {
    if (info) {
        CoTaskMemFree(info->interfaceDetail);
        info->interfaceDetail = nullptr;
    }
}
