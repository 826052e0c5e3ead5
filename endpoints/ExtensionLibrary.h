#pragma once

#include <windows.h>

struct EndpointInventory;

// The companion extension library: loaded by its file name while the inventory is open and
// bound by the names of its 91 exports, every one of which must be present. Nothing calls them.

constexpr WCHAR EXTENSION_LIBRARY_NAME[] = L"XANPropPageExt.dll";
constexpr size_t EXTENSION_EXPORT_COUNT = 91;

// The export names in binding order.
extern const char* const g_extensionExportNames[EXTENSION_EXPORT_COUNT];

// One slot per export name; a slot is valid only while the library stays loaded.
struct ExtensionExports {
    FARPROC slots[EXTENSION_EXPORT_COUNT];
};
extern ExtensionExports g_extensionExports;

// Loads the library into extensionModule; FALSE when it cannot be loaded.
BOOL LoadExtensionLibrary(EndpointInventory* inventory);

// Looks up every name, even after a failed one; TRUE only when all were found.
BOOL BindExtensionExports(EndpointInventory* inventory);

// Frees the library if it is loaded.
void UnloadExtensionLibrary(EndpointInventory* inventory);
