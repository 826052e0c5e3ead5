#include <gtest/gtest.h>

#include <thread>

#include "page/DeviceCallback.h"
#include "tests/app/AppFixture.h"
#include "tests/support/InitializeSpy.h"

namespace {

namespace op = sim::audio::op;

using Startup = AppTest;

TEST_F(Startup, WithoutTheCodecStartUpNeverJoinsTheApartment) {
    driver.ClearInterfaces();
    CPropertyPageApp app;
    InitializeSpy spy;
    EXPECT_FALSE(app.InitInstance());
    // Only the inventory's own bracket.
    EXPECT_EQ(1, spy.multithreaded);
    EXPECT_EQ(1, spy.uninitialised);
}

TEST_F(Startup, ComIsLeftAloneWhenStartUpsOwnInitialisationFailed) {
    CPropertyPageApp app;
    ScopedModalAction act(
        [&] { ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0); });
    {
        // The inventory's initialisation is the first, start-up's the second.
        InitializeSpy spy(2);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_TRUE(act.Ran());
        EXPECT_EQ(2, spy.multithreaded);
        EXPECT_EQ(1, spy.uninitialised);  // the inventory's, none of start-up's
    }
    // COM did initialise underneath: give the thread its count back.
    CoUninitialize();
}

TEST_F(Startup, WithoutTheCodecNothingIsCreated) {
    driver.ClearInterfaces();
    CPropertyPageApp app;
    ScopedModalAction never([] {});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(never.Ran());
    // Start-up's own steps never ran: no client, no store.
    EXPECT_EQ(0, sim->Calls(op::RegisterCallback));
    EXPECT_EQ(0, sim->Calls(op::OpenFxStore));
}

TEST_F(Startup, OnOtherWindowsTheStoreIsNeverOpened) {
    for (auto [major, minor] : {std::pair{6ul, 2ul}, {5ul, 1ul}}) {
        sim::ScopedWindowsVersion version(major, minor);
        CPropertyPageApp app;
        ScopedModalAction never([] {});
        EXPECT_FALSE(app.InitInstance());
        EXPECT_FALSE(never.Ran()) << major << "." << minor;
        EXPECT_EQ(0, sim->Calls(op::OpenFxStore));
        EXPECT_EQ(nullptr, app.m_pMainWnd);
    }
    // The client came and went each time.
    EXPECT_EQ(2, sim->Calls(op::RegisterCallback));
    EXPECT_EQ(2, sim->Calls(op::UnregisterCallback));
}

TEST_F(Startup, OkCancelAndTheCloseBoxEndTheProgramAlike) {
    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"OK", [](HWND sheet) { ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); }},
        {"Cancel", [](HWND sheet) { ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }},
        {"close box", [](HWND sheet) { ::PostMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    // Named references, not a structured binding: clang 14 cannot capture a binding in a lambda.
    for (const auto& way : ways) {
        const char* name = way.first;
        const std::function<void(HWND)>& close = way.second;
        CPropertyPageApp app;
        bool shown = false;
        ScopedModalAction act([&] {
            HWND sheet = app.m_pMainWnd ? app.m_pMainWnd->m_hWnd : nullptr;
            ASSERT_NE(nullptr, sheet);
            shown = ::IsWindowVisible(sheet) && sim->RegisteredClients() == 1;
            close(sheet);
        });
        EXPECT_FALSE(app.InitInstance()) << name;
        EXPECT_TRUE(shown) << name;
        EXPECT_EQ(nullptr, app.m_pMainWnd) << name;
        EXPECT_EQ(0, sim->RegisteredClients()) << name;
    }
}

// Shutdown unregisters the client through the enumerator it registered with: it needs no new
// one, which could fail to come.
TEST_F(Startup, TheClientIsUnregisteredWhenNoEnumeratorCanBeMadeAtTheEnd) {
    CPropertyPageApp app;
    ScopedModalAction act([&] {
        sim->FailOn(op::CreateDeviceEnumerator, REGDB_E_CLASSNOTREG);
        ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(act.Ran());
    EXPECT_EQ(1, sim->Calls(op::UnregisterCallback));
    EXPECT_EQ(0, sim->RegisteredClients());
}

// A client the service would not let go may still be called after start-up, and its notifier,
// with it, is gone: it must be cut off from it.
TEST_F(Startup, AClientTheServiceKeepsIsCutOffFromTheEndedNotifier) {
    CPropertyPageApp app;
    ScopedModalAction act([&] {
        sim->FailOn(op::UnregisterCallback, E_FAIL);
        ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(act.Ran());
    std::vector<IMMNotificationClient*> clients = sim->Clients();
    ASSERT_EQ(1u, clients.size());
    // Still tied to the notifier, it would reach into start-up's ended frame: not told of changes.
    ASSERT_EQ(nullptr, static_cast<CDeviceCallback*>(clients[0])->owner);
    // Told of a change, it does nothing.
    sim->Notify(kLaptopSpeakers, keys::NaturalBass);
    sim->FlushNotifications();
    sim->DropClients();
}

TEST_F(Startup, OnAThreadOfItsOwnComIsLeftAsFound) {
    // Start-up joins the multithreaded apartment itself here, so its CoUninitialize is the
    // thread's last: had it come before the client was unregistered, the client would still be
    // registered.
    bool balanced = false;
    bool shown = false;
    std::thread([&] {
        CPropertyPageApp app;
        ScopedModalAction act([&] {
            shown = app.m_pMainWnd != nullptr;
            ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
        app.InitInstance();
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        balanced = hr == S_OK;
        if (SUCCEEDED(hr)) {
            CoUninitialize();
        }
    }).join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(balanced);
    EXPECT_EQ(0, sim->RegisteredClients());
}

}  // namespace
