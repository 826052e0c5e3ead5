#include "tests/support/ExtensionLibrary.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>

std::wstring ExtensionVariantDir(const wchar_t* variant) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            ADD_FAILURE() << "GetModuleFileNameW failed, error " << GetLastError();
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // <build>\tests\program.exe -> <build>
    for (int level = 0; level < 2; ++level) {
        path.resize(path.find_last_of(L'\\'));
    }
    return path + L"\\sim\\extension\\" + variant;
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
