#pragma once

#include <windows.h>
#include <setupapi.h>

// The codec driver's private device interface. Every query to the driver goes through a handle
// opened on the device path of an interface of this class.

// {5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}
inline constexpr GUID GUID_DEVINTERFACE_HDAUD_PRIVATE = {
    0x5b2e0c71, 0x3a94, 0x4f16, {0xb8, 0xd3, 0x0e, 0x7c, 0x91, 0xa4, 0xf2, 0x58}};

// The result of discovery, owned by the caller and zeroed before the call.
struct HDAudDeviceInfo {
    // A copy of the accepted interface's detail block (its DevicePath is the file to open), or
    // null when no interface was accepted. A CoTaskMem block; ReleaseHDAudDevice frees it.
    SP_DEVICE_INTERFACE_DETAIL_DATA_W* interfaceDetail;
};

// Finds the present interfaces of the private class and keeps the last one whose path names a
// supported codec. The spare set is an empty set the caller has just made with
// SetupDiCreateDeviceInfoList(NULL, NULL); discovery destroys it before returning. S_OK: the
// device was found when interfaceDetail is not null; E_POINTER for a null record.
HRESULT FindHDAudDevice(HDAudDeviceInfo* info, HDEVINFO spareSet);

// Frees the detail copy; harmless on a record that holds nothing.
void ReleaseHDAudDevice(HDAudDeviceInfo* info);
