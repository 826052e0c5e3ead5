#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "sim/platform/WindowsVersion.h"

namespace {

struct Answer {
    BOOL ok;
    DWORD major;
    DWORD minor;
};

Answer Ask(DWORD size) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = size;
    BOOL ok = platform::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    return {ok, info.dwMajorVersion, info.dwMinorVersion};
}

TEST(PlatformVersion, ForwardsToWindowsByDefault) {
    OSVERSIONINFOEXW real = {};
    real.dwOSVersionInfoSize = sizeof real;
    ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&real)));

    Answer seam = Ask(sizeof(OSVERSIONINFOEXW));
    EXPECT_TRUE(seam.ok);
    EXPECT_EQ(real.dwMajorVersion, seam.major);
    EXPECT_EQ(real.dwMinorVersion, seam.minor);
}

TEST(PlatformVersion, StandInAnswersTheChosenVersionForBothSizes) {
    for (auto [major, minor] : {std::pair{5ul, 1ul}, {6ul, 0ul}, {6ul, 1ul}, {6ul, 2ul}}) {
        sim::ScopedWindowsVersion version(major, minor);
        for (DWORD size : {sizeof(OSVERSIONINFOEXW), sizeof(OSVERSIONINFOW)}) {
            Answer answer = Ask(size);
            EXPECT_TRUE(answer.ok) << "size " << size;
            EXPECT_EQ(major, answer.major) << "size " << size;
            EXPECT_EQ(minor, answer.minor) << "size " << size;
        }
        EXPECT_EQ(2, version.Calls());
    }
}

TEST(PlatformVersion, StandInFailsTheExtendedStructureOnly) {
    sim::ScopedWindowsVersion version(6, 0, sim::VersionQueryFailure::ExtendedOnly);
    EXPECT_FALSE(Ask(sizeof(OSVERSIONINFOEXW)).ok);
    Answer plain = Ask(sizeof(OSVERSIONINFOW));
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(6u, plain.major);
    EXPECT_EQ(0u, plain.minor);
    EXPECT_EQ(1, version.Failures());
}

TEST(PlatformVersion, StandInFailsBothSizes) {
    sim::ScopedWindowsVersion version(6, 1, sim::VersionQueryFailure::Both);
    EXPECT_FALSE(Ask(sizeof(OSVERSIONINFOEXW)).ok);
    EXPECT_FALSE(Ask(sizeof(OSVERSIONINFOW)).ok);
    EXPECT_EQ(2, version.Failures());
}

TEST(PlatformVersion, LeavingTheScopeRestoresThePreviousAnswer) {
    {
        sim::ScopedWindowsVersion outer(6, 0);
        {
            sim::ScopedWindowsVersion inner(6, 2);
            EXPECT_EQ(2u, Ask(sizeof(OSVERSIONINFOEXW)).minor);
        }
        EXPECT_EQ(0u, Ask(sizeof(OSVERSIONINFOEXW)).minor);
    }
    OSVERSIONINFOEXW real = {};
    real.dwOSVersionInfoSize = sizeof real;
    ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&real));
    EXPECT_EQ(real.dwMinorVersion, Ask(sizeof(OSVERSIONINFOEXW)).minor);
}

}  // namespace
