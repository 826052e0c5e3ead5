#pragma once

#include <windows.h>

// Whether a device path of the private class names a codec this program supports: it must hold
// the class GUID text and a supported hardware identifier or the maker's driver name.
bool IsSupportedCodecPath(const WCHAR* devicePath);
