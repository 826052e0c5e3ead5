// What a sweep run may not leave in its process: a handle it opened is named, while the process's
// own handle on its current directory, opened anew at another value, is not one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "bench/sweep/ProcessLeftovers.h"

namespace {

// The library load makes the system directory the current one and puts the old one back. When
// another thread opens a handle in between, it takes the value the directory's handle had, and
// the directory is opened again at another value: no handle is left over.
TEST(ProcessLeftovers, TheCurrentDirectoryOpenedAgainElsewhereIsNoLeftoverButAHandleIs) {
    wchar_t previous[MAX_PATH] = {}, system[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    sweep::ProcessState before = sweep::TakeProcessState();
    ASSERT_NE(nullptr, before.directoryHandle);

    ASSERT_TRUE(::SetCurrentDirectoryW(system));
    HANDLE between = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(::SetCurrentDirectoryW(previous));
    ::CloseHandle(between);
    sweep::ProcessState after = sweep::TakeProcessState();
    ASSERT_NE(before.directoryHandle, after.directoryHandle)
        << "the directory's handle kept its value: the case is not made";
    EXPECT_EQ(std::vector<std::string>{}, sweep::Leftovers(before, after));

    HANDLE left = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(std::vector<std::string>{"1 Event handle(s) left open"},
              sweep::Leftovers(before, sweep::TakeProcessState()));
    ::CloseHandle(left);
}

}  // namespace
