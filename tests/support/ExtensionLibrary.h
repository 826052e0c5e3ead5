#pragma once

#include <string>
#include <vector>

// The folder of one extension library stand-in ("full", "missing-last", "missing-middle",
// "wrong-case"); each holds a XANPropPageExt.dll.
std::wstring ExtensionVariantDir(const wchar_t* variant);

// Searches a folder for DLLs while the object lives. The test program's own folder is still
// searched first; the current directory is not searched meanwhile (as on Windows, also under Wine).
class ScopedDllDirectory {
public:
    explicit ScopedDllDirectory(const std::wstring& dir);
    ScopedDllDirectory(const ScopedDllDirectory&) = delete;
    ScopedDllDirectory& operator=(const ScopedDllDirectory&) = delete;
    ~ScopedDllDirectory();
};

// The names the program binds from the extension library, in the order of
// sim/extension/ExportNames.txt (compiled in from that file).
std::vector<std::string> ExtensionExportNames();
