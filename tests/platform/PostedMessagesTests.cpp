#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "sim/platform/PostedMessages.h"
#include "sim/platform/StandInApi.h"

namespace {

constexpr UINT kMessage = WM_APP + 7;

class PostedMessages : public testing::Test {
protected:
    void SetUp() override {
        sim::UseStandInApi();
        window =
            ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override {
        Take(kMessage);
        ::DestroyWindow(window);
        platform::Install(nullptr);
    }
    size_t Take(UINT message) {
        size_t taken = 0;
        MSG msg;
        while (::PeekMessageW(&msg, window, message, message, PM_REMOVE)) {
            ++taken;
        }
        return taken;
    }

    HWND window = nullptr;
};

TEST_F(PostedMessages, AQueueTakesTenThousandPostsAndRefusesTheNext) {
    for (size_t i = 0; i < sim::kPostQuota; ++i) {
        ASSERT_TRUE(platform::PostMessageW(window, kMessage, i, 0)) << "post " << i;
    }
    size_t refused = sim::PostsRefused();
    ::SetLastError(0);
    EXPECT_FALSE(platform::PostMessageW(window, kMessage, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), ::GetLastError());
    EXPECT_EQ(refused + 1, sim::PostsRefused());

    // A message taken from the queue makes room for one more.
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, window, kMessage, kMessage, PM_REMOVE));
    EXPECT_TRUE(platform::PostMessageW(window, kMessage, 0, 0));
    EXPECT_FALSE(platform::PostMessageW(window, kMessage, 0, 0));
    EXPECT_EQ(sim::kPostQuota, Take(kMessage));
    EXPECT_TRUE(platform::PostMessageW(window, kMessage, 0, 0));
}

TEST_F(PostedMessages, AMessageLookedAtButLeftStillWaits) {
    for (size_t i = 0; i < sim::kPostQuota; ++i) {
        ASSERT_TRUE(platform::PostMessageW(window, kMessage, i, 0));
    }
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, window, kMessage, kMessage, PM_NOREMOVE));
    EXPECT_FALSE(platform::PostMessageW(window, kMessage, 0, 0));
}

TEST_F(PostedMessages, AWindowThatIsGoneOrAFullQueueRefusesThePost) {
    HWND gone =
        ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ::DestroyWindow(gone);
    EXPECT_FALSE(platform::PostMessageW(gone, kMessage, 0, 0));
    EXPECT_FALSE(platform::PostMessageW(nullptr, kMessage, 0, 0));
    {
        sim::ScopedFullQueue full;
        ::SetLastError(0);
        EXPECT_FALSE(platform::PostMessageW(window, kMessage, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), ::GetLastError());
    }
    EXPECT_TRUE(platform::PostMessageW(window, kMessage, 0, 0));
    EXPECT_EQ(1u, Take(kMessage));
}

}  // namespace
