#pragma once

#include <windows.h>

#include "driver/HDAudDevice.h"

// One query exchange with the driver: open the device, send one control with no input, close
// the handle before the answer is looked at. Bytes the driver did not return read as zero.
// A failed open or control sends its debug line, "<step>: CreateFile: INVALID_HANDLE_VALUE\n" or
// "<step>: DeviceIoControl: <control> failed\n", and returns FALSE; so does a missing device.
BOOL QueryHDAudDevice(const HDAudDeviceInfo* device, DWORD code, void* answer, DWORD answerSize,
                      DWORD* returned, const WCHAR* step, const WCHAR* controlName);
