#include "tests/support/ExtensionLibrary.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>

#include "tests/support/BuildTree.h"

std::wstring ExtensionVariantDir(const wchar_t* variant) {
    return BuildTreePath(std::wstring(L"sim\\extension\\") + variant);
}

ScopedDllDirectory::ScopedDllDirectory(const std::wstring& dir) {
    if (!SetDllDirectoryW(dir.c_str())) {
        ADD_FAILURE() << "SetDllDirectoryW failed, error " << GetLastError();
    }
}

ScopedDllDirectory::~ScopedDllDirectory() {
    SetDllDirectoryW(nullptr);
}

std::vector<std::string> ExtensionExportNames() {
    static const char* const names[] = {
#include "sim/extension/ExportNames.inc"
    };
    return {std::begin(names), std::end(names)};
}
