// Start-up and shutdown again and again while the audio service notifies without pause, and lets
// a call it had decided on follow the client's unregistration a moment later. This program fills
// every block it frees with a pattern, so that anything of the program's reached after it was
// freed crashes the run instead of passing unseen; it replaces the global operator delete, so it
// runs alone.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "page/HalvoPageSoundRoom.h"
#include "sim/platform/PostedMessages.h"
#include "tests/app/AppFixture.h"

namespace {

using sim::audio::AudioService;

// A crash ends the run at once, saying where, instead of waiting for a debugger.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "crashed: exception 0x%08lx at %p\n",
                 exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

using ShutdownRace = AppTest;

TEST_F(ShutdownRace, ACallThatFollowsTheUnregistrationReachesNothingOfTheEndedRun) {
    ::SetUnhandledExceptionFilter(&ReportCrash);
    sim->SetLateCalls(AudioService::LateCalls::MayFollow);
    std::atomic<bool> stop{false};
    std::thread notifying([&] {
        const PROPERTYKEY changed[] = {keys::NaturalBass, PKEY_AudioEndpoint_Disable_SysFx,
                                       keys::JackChange};
        for (unsigned i = 0; !stop; ++i) {
            sim->Notify(kLaptopSpeakers, changed[i % 3]);
            if (i % 4 == 0) {
                sim->FlushNotifications();  // a few waiting at most, never a backlog
            }
        }
    });
    int shown = 0;
    size_t postsAfterShutdown = 0;
    for (int run = 0; run < 150; ++run) {
        {
            CPropertyPageApp app;
            ScopedModalAction act(
                [&] { ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0); }, 1);
            EXPECT_FALSE(app.InitInstance());
            shown += act.Ran();
        }
        // What still comes in for the ended run: its late calls, and the changes told meanwhile.
        size_t posts = sim::PostsMade();
        ::Sleep(2);
        while (sim->CallsInProgress() != 0) {
            ::Sleep(1);
        }
        postsAfterShutdown += sim::PostsMade() - posts;
    }
    stop = true;
    notifying.join();
    sim->FlushNotifications();
    EXPECT_EQ(150, shown);
    EXPECT_EQ(0u, postsAfterShutdown) << "a refresh was posted for a page that had ended";
    EXPECT_EQ(nullptr, g_pEndpointCallbacks);
}

}  // namespace

// Every block is freed through here, filled first: a pointer read from a freed object points
// nowhere.
void operator delete(void* block) noexcept {
    if (block) {
        std::memset(block, 0xDB, _msize(block));
        std::free(block);
    }
}
void operator delete[](void* block) noexcept {
    operator delete(block);
}
void operator delete(void* block, size_t) noexcept {
    operator delete(block);
}
void operator delete[](void* block, size_t) noexcept {
    operator delete(block);
}
void* operator new(size_t size) {
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
