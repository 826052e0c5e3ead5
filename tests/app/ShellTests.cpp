// The shell around the page: the sheet's icon and tab, and the order of the last steps.
#include <gtest/gtest.h>

#include "sim/audio/LiveObjects.h"
#include "tests/app/AppFixture.h"
#include "tests/support/InitializeSpy.h"

#include <commctrl.h>

namespace {

using Shell = AppTest;
using sim::audio::LiveObjects;
using sim::audio::ObjectKind;

TEST_F(Shell, TheSheetShowsIcon128AndThePagesTab) {
    HICON icon128 = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    ASSERT_NE(nullptr, icon128);
    CPropertyPageApp app;
    ScopedModalAction act([&] {
        HWND sheet = app.m_pMainWnd->m_hWnd;
        auto small = reinterpret_cast<HICON>(::SendMessageW(sheet, WM_GETICON, ICON_SMALL, 0));
        auto big = reinterpret_cast<HICON>(::SendMessageW(sheet, WM_GETICON, ICON_BIG, 0));
        EXPECT_TRUE(small == icon128 || big == icon128) << small << " " << big;

        auto tabs = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        EXPECT_EQ(1, ::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        wchar_t text[64] = {};
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        ::SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(L"Halvo Setting", text);
        ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(act.Ran());
}

// The test's thread is in the multithreaded apartment already, so start-up's own initialisation
// answers S_FALSE and start-up owes the thread a CoUninitialize: by then the client is
// unregistered and every enumerator released.
TEST_F(Shell, StartUpsCoUninitializeComesLast) {
    CPropertyPageApp app;
    ScopedModalAction act(
        [&] { ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0); });
    struct Seen {
        int clients, enumerators, devices;
    };
    std::vector<Seen> seen;
    {
        InitializeSpy spy;
        spy.beforeUninitialize = [&] {
            seen.push_back({sim->RegisteredClients(), LiveObjects(ObjectKind::DeviceEnumerator),
                            LiveObjects(ObjectKind::Device)});
        };
        EXPECT_FALSE(app.InitInstance());
    }
    ASSERT_TRUE(act.Ran());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(0, seen.back().clients);
    EXPECT_EQ(0, seen.back().enumerators);
    EXPECT_EQ(0, seen.back().devices);
}

}  // namespace
