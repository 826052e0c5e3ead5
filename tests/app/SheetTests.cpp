#include <gtest/gtest.h>

#include <vector>

#include "app/PropPageSheet.h"
#include "res/resource.h"
#include "tests/app/AppFixture.h"
#include "tests/support/BuildTree.h"
#include "tests/support/Screenshot.h"

namespace {

constexpr int kApply = 0x3021;

using Sheet = AppTest;

// Where comctl32 puts OK, Cancel and Apply on a sheet with this page and its Help button.
std::vector<RECT> PlainSheetButtons() {
    CPropertySheet sheet(L"Properties");
    CPropertyPage page(IDD_SOUND_ROOM);
    sheet.m_psh.dwFlags |= PSH_HASHELP;
    page.m_psp.dwFlags |= PSP_HASHELP;
    sheet.AddPage(&page);
    std::vector<RECT> rects;
    ScopedModalAction act([&] {
        for (int id : {IDOK, IDCANCEL, kApply}) {
            rects.push_back(ButtonRect(sheet.m_hWnd, id));
        }
        ::PostMessageW(sheet.m_hWnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    sheet.DoModal();
    return rects;
}

TEST_F(Sheet, HasNoHelpAndItsButtonsCloseTheGap) {
    std::vector<RECT> plain = PlainSheetButtons();
    ASSERT_EQ(3u, plain.size());
    CPropertyPageApp app;
    ScopedModalAction act([&] {
        HWND sheet = app.m_pMainWnd->m_hWnd;
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(sheet, IDHELP)));
        int index = 0;
        for (int id : {IDOK, IDCANCEL, kApply}) {
            RECT before = plain[index++];
            RECT now = ButtonRect(sheet, id);
            int width = before.right - before.left;
            EXPECT_EQ(before.left + width + 6, now.left) << id;
            EXPECT_EQ(before.top, now.top) << id;
            EXPECT_EQ(width, now.right - now.left) << id;
            EXPECT_EQ(before.bottom - before.top, now.bottom - now.top) << id;
        }
        // Every change is written at once: there is never anything to apply.
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sheet, kApply)));
        SaveWindowScreenshot(sheet, L"sheet.bmp");
        ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    app.InitInstance();
    EXPECT_TRUE(act.Ran());
}

// An application that maps no ID_HELP gets sheets without a Help button, whose buttons comctl32
// has already placed against the right edge: the sheet moves nothing, and nothing leaves it.
TEST(SheetWithoutHelp, KeepsItsButtonsWhereComctl32PutThem) {
    CWinApp noHelp;
    auto buttonsOf = [](CPropertySheet& sheet) {
        CPropertyPage page(IDD_SOUND_ROOM);
        sheet.AddPage(&page);
        std::vector<RECT> rects;
        ScopedModalAction act([&] {
            RECT client = {};
            ::GetClientRect(sheet.m_hWnd, &client);
            for (int id : {IDOK, IDCANCEL, kApply}) {
                rects.push_back(ButtonRect(sheet.m_hWnd, id));
                EXPECT_LE(rects.back().right, client.right) << id << " is past the sheet's edge";
            }
            ::PostMessageW(sheet.m_hWnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        sheet.DoModal();
        EXPECT_EQ(0u, sheet.m_psh.dwFlags & PSH_HASHELP);
        return rects;
    };
    CPropertySheet plain(L"Properties");
    CPropPageSheet ours(L"Properties");
    std::vector<RECT> expected = buttonsOf(plain), actual = buttonsOf(ours);
    ASSERT_EQ(3u, expected.size());
    ASSERT_EQ(3u, actual.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(::EqualRect(&expected[i], &actual[i])) << "button " << i << " moved";
    }
}

TEST_F(Sheet, TheSystemMenuOffersTheAboutBox) {
    CPropertyPageApp app;
    std::vector<UINT> opened;
    ScopedModalAction act([&] {
        HWND sheet = app.m_pMainWnd->m_hWnd;
        HMENU menu = ::GetSystemMenu(sheet, FALSE);
        int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(0x0010u, ::GetMenuItemID(menu, count - 1));  // the About command
        EXPECT_EQ(MF_SEPARATOR, ::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(L"&About Halvo Setting...", text);

        for (UINT id : {0x000Fu, 0x0010u, 0x0011u, 0x0017u, 0x001Fu, 0x0020u, 0x0110u}) {
            ScopedModalAction closeAbout([&] {
                if (HWND about = FindThreadWindow(L"About Halvo Setting")) {
                    opened.push_back(id);
                    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
                }
            });
            ::SendMessageW(sheet, WM_SYSCOMMAND, id, 0);
            // A command that opened nothing leaves the check pending: let it run now.
            MSG msg;
            while (!closeAbout.Ran() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::DispatchMessageW(&msg);
            }
        }
        ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    app.InitInstance();
    EXPECT_TRUE(act.Ran());
    EXPECT_EQ((std::vector<UINT>{0x0010, 0x0011, 0x0017, 0x001F}), opened);
}

}  // namespace

namespace {

TEST_F(Sheet, WithoutTheAboutTextTheSystemMenuIsLeftAlone) {
    std::wstring path = BuildTreePath(L"res\\HalvoResourcesWithoutAbout.dll");
    HMODULE resources = ::LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, resources);
    {
        CPropertyPageApp app;
        app.m_hInstance = resources;
        int itemsLeft = -1;
        UINT lastItem = 0;
        ScopedModalAction act([&] {
            HWND sheet = app.m_pMainWnd->m_hWnd;
            HMENU menu = ::GetSystemMenu(sheet, FALSE);
            itemsLeft = static_cast<int>(::GetMenuState(menu, 0x0010, MF_BYCOMMAND));
            lastItem = ::GetMenuState(menu, ::GetMenuItemCount(menu) - 1, MF_BYPOSITION);
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
        app.InitInstance();
        ASSERT_TRUE(act.Ran());
        EXPECT_EQ(-1, itemsLeft);  // no About entry
        EXPECT_EQ(0u, lastItem & MF_SEPARATOR);
    }
    ::FreeLibrary(resources);
}

}  // namespace
