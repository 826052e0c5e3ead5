// What a sweep run may not leave in its process: a handle it opened is named, while the process's
// own handle on its current directory, opened anew at another value, is not one. Files are told
// by their names: one opened a second time is left, and so is a current directory that moved.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "bench/sweep/ProcessLeftovers.h"

namespace {

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) {
        out += *text < 128 ? static_cast<char>(*text) : '?';
    }
    return out;
}

// The current directory and the system directory, with the current one put back at the end.
class ProcessLeftovers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, m_previous), 0u);
        ASSERT_GT(::GetSystemDirectoryW(m_system, MAX_PATH), 0u);
        ASSERT_NE(0, ::lstrcmpiW(m_previous, m_system)) << "the test runs in the system directory";
    }
    void TearDown() override { ::SetCurrentDirectoryW(m_previous); }

    // Wine names a file by its DOS path after the \??\ prefix.
    static std::string Left(const wchar_t* path) {
        return "1 File \\??\\" + Narrow(path) + " handle(s) left open";
    }

    wchar_t m_previous[MAX_PATH] = {};
    wchar_t m_system[MAX_PATH] = {};
};

// The library load makes the system directory the current one and puts the old one back. When
// another thread opens a handle in between, it takes the value the directory's handle had, and
// the directory is opened again at another value: no handle is left over.
TEST_F(ProcessLeftovers, TheCurrentDirectoryOpenedAgainElsewhereIsNoLeftoverButAHandleIs) {
    sweep::ProcessState before = sweep::TakeProcessState();
    ASSERT_NE(nullptr, before.directoryHandle);

    ASSERT_TRUE(::SetCurrentDirectoryW(m_system));
    HANDLE between = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(::SetCurrentDirectoryW(m_previous));
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

// The same change of directory, with the directory opened a second time in between: that handle
// takes the value the directory's handle had and points where it pointed, and is still one more.
TEST_F(ProcessLeftovers, TheCurrentDirectoryOpenedASecondTimeAtItsOldValueIsALeftover) {
    sweep::ProcessState before = sweep::TakeProcessState();
    ASSERT_NE(nullptr, before.directoryHandle);

    ASSERT_TRUE(::SetCurrentDirectoryW(m_system));
    HANDLE second = ::CreateFileW(m_previous, FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);
    ASSERT_TRUE(::SetCurrentDirectoryW(m_previous));
    sweep::ProcessState after = sweep::TakeProcessState();
    EXPECT_EQ(before.directoryHandle, second)
        << "the second handle took another value: the case is not made";

    EXPECT_EQ(std::vector<std::string>{Left(m_previous)}, sweep::Leftovers(before, after));
    ::CloseHandle(second);
}

// A run that leaves the process in another directory has moved it, and the handle on the new
// one is no longer the process's own handle on the directory it started in.
TEST_F(ProcessLeftovers, ACurrentDirectoryThatMovedIsReportedWithItsHandle) {
    sweep::ProcessState before = sweep::TakeProcessState();
    ASSERT_TRUE(::SetCurrentDirectoryW(m_system));
    sweep::ProcessState after = sweep::TakeProcessState();

    const std::vector<std::string> expected = {
        Left(m_system),
        "the current directory moved from " + Narrow(m_previous) + " to " + Narrow(m_system)};
    EXPECT_EQ(expected, sweep::Leftovers(before, after));
}

}  // namespace
