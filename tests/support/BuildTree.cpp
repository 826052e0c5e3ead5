#include "tests/support/BuildTree.h"

#include <windows.h>

#include <gtest/gtest.h>

std::wstring BuildTreePath(const std::wstring& relative) {
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
    return path + L"\\" + relative;
}
