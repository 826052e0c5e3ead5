// The framework's windows under a real dialog manager and comctl32 (on a virtual display).
#include <gtest/gtest.h>

#include <afxdlgs.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ModalAction.h"

namespace {

using Log = std::vector<std::string>;

class TestApp : public CWinApp {
public:
    int helpRequests = 0;
    afx_msg void OnHelpRequest() { ++helpRequests; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestApp, CWinApp)
ON_COMMAND(ID_HELP, &TestApp::OnHelpRequest)
END_MESSAGE_MAP()

class BaseDialog : public CDialog {
    DECLARE_DYNAMIC(BaseDialog)
public:
    BaseDialog() : CDialog(200) {}

    Log log;
    CButton m_check;
    CSliderCtrl m_slider;
    CEdit m_edit;

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 10, m_check);
        DDX_Control(pDX, 11, m_slider);
        DDX_Control(pDX, 12, m_edit);
    }
    afx_msg void OnBaseCommand() { log.push_back("base command"); }
    afx_msg void OnCheckClicked() { log.push_back("base clicked"); }

    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNAMIC(BaseDialog, CDialog)

BEGIN_MESSAGE_MAP(BaseDialog, CDialog)
ON_COMMAND(42, &BaseDialog::OnBaseCommand)
ON_BN_CLICKED(10, &BaseDialog::OnCheckClicked)
END_MESSAGE_MAP()

class TestDialog : public BaseDialog {
    DECLARE_DYNAMIC(TestDialog)
public:
    std::vector<UINT> messages;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return BaseDialog::WindowProc(message, wParam, lParam);
    }
    afx_msg void OnCheckClicked() { log.push_back("clicked"); }
    // The trackbar asks this whenever it paints; only the test's own request is logged.
    afx_msg void OnSliderDraw(NMHDR* header, LRESULT* result) {
        bool ours = header->hwndFrom == nullptr;
        if (ours) {
            log.push_back("custom draw " + std::to_string(header->idFrom));
        }
        *result = ours ? CDRF_SKIPDEFAULT : CDRF_DODEFAULT;
    }
    afx_msg void OnThrow() { throw std::runtime_error("a handler that throws"); }
    afx_msg void OnDestroy() {
        log.push_back("destroy");
        BaseDialog::OnDestroy();
    }

    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNAMIC(TestDialog, BaseDialog)

BEGIN_MESSAGE_MAP(TestDialog, BaseDialog)
ON_BN_CLICKED(10, &TestDialog::OnCheckClicked)
ON_NOTIFY(NM_CUSTOMDRAW, 11, &TestDialog::OnSliderDraw)
ON_COMMAND(43, &TestDialog::OnThrow)
ON_WM_DESTROY()
END_MESSAGE_MAP()

TEST(RuntimeClass, NamesTheClassAndItsBases) {
    EXPECT_STREQ("TestDialog", RUNTIME_CLASS(TestDialog)->m_lpszClassName);
    EXPECT_EQ(RUNTIME_CLASS(BaseDialog), RUNTIME_CLASS(TestDialog)->m_pBaseClass);
    TestDialog dialog;
    EXPECT_STREQ("TestDialog", dialog.GetRuntimeClass()->m_lpszClassName);
    EXPECT_TRUE(dialog.IsKindOf(RUNTIME_CLASS(CDialog)));
    EXPECT_TRUE(dialog.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(dialog.IsKindOf(RUNTIME_CLASS(CPropertyPage)));
}

TEST(Dialog, RoutesMessagesThroughTheMapsAndTheApplication) {
    TestApp app;
    TestDialog dialog;
    LRESULT drawResult = -1;
    HWND check = nullptr;
    ScopedModalAction act([&] {
        HWND hWnd = dialog.m_hWnd;
        ASSERT_NE(nullptr, hWnd);
        // Data exchange attached the controls, and only attached them.
        check = ::GetDlgItem(hWnd, 10);
        EXPECT_EQ(check, dialog.m_check.m_hWnd);
        EXPECT_EQ(::GetDlgItem(hWnd, 11), dialog.m_slider.m_hWnd);
        EXPECT_EQ(&dialog, CWnd::FromHandle(hWnd));

        ::SendMessageW(check, BM_CLICK, 0, 0);
        EXPECT_EQ(BST_CHECKED, dialog.m_check.GetCheck());
        ::SendMessageW(hWnd, WM_COMMAND, 42, 0);
        ::SendMessageW(hWnd, WM_COMMAND, ID_HELP, 0);
        // Called directly, so that an exception let out reaches this test instead of being lost
        // in Wine's dispatch, which then never returns.
        auto dialogProc = reinterpret_cast<DLGPROC>(::GetWindowLongPtrW(hWnd, DWLP_DLGPROC));
        INT_PTR handled = TRUE;
        EXPECT_NO_THROW(handled = dialogProc(hWnd, WM_COMMAND, 43, 0));
        EXPECT_EQ(FALSE, handled) << "a command whose handler threw is the dialog manager's";

        NMHDR header = {nullptr, 11, static_cast<UINT>(NM_CUSTOMDRAW)};
        drawResult = ::SendMessageW(hWnd, WM_NOTIFY, 11, reinterpret_cast<LPARAM>(&header));

        dialog.m_slider.SetRange(0, 6);
        dialog.m_slider.SetPos(4);
        EXPECT_EQ(4, dialog.m_slider.GetPos());
        EXPECT_EQ(6, dialog.m_slider.GetRangeMax());
        ::PostMessageW(hWnd, WM_COMMAND, IDOK, 0);
    });

    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_TRUE(act.Ran());
    // The derived class's entry wins over the base's for the same control.
    EXPECT_EQ((Log{"clicked", "base command", "custom draw 11", "destroy"}), dialog.log);
    EXPECT_EQ(CDRF_SKIPDEFAULT, drawResult);
    EXPECT_EQ(1, app.helpRequests);
    EXPECT_EQ(WM_INITDIALOG, dialog.messages.front());
    EXPECT_EQ(static_cast<UINT>(WM_NCDESTROY), dialog.messages.back());
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandle(nullptr));
}

// The messages of a window class of its own, as they reach its own procedure.
std::vector<std::pair<UINT, WPARAM>> g_ownProcedure;

LRESULT CALLBACK OwnProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_SYSCOMMAND) {
        g_ownProcedure.push_back({message, wParam});
        return 7;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

class ThrowingWindow : public CWnd {
public:
    afx_msg void OnThrow() { throw std::runtime_error("a handler that throws"); }
    // Sends the window a command that fails, then leaves its own message to the default.
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
        SendMessage(WM_COMMAND, 43);
        CWnd::OnSysCommand(nID, lParam);
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ThrowingWindow, CWnd)
ON_COMMAND(43, &ThrowingWindow::OnThrow)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

TEST(Subclass, LeavesAMessageWhoseHandlerThrewToTheWindowsOwnProcedure) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &OwnProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HalvoFrameworkTestWindow";
    ASSERT_NE(0, ::RegisterClassW(&windowClass));
    HWND hWnd = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, hWnd);
    ThrowingWindow window;
    ASSERT_TRUE(window.SubclassWindow(hWnd));

    // Called directly, as in the dialog's test above.
    auto procedure = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    LRESULT result = 0;
    ASSERT_NO_THROW(result = procedure(hWnd, WM_COMMAND, 43, 0));
    EXPECT_EQ(7, result);
    // The command fails inside the system command's handler, which then passes on its own message.
    ::SendMessageW(hWnd, WM_SYSCOMMAND, 0x0123, 0);
    using Message = std::pair<UINT, WPARAM>;
    EXPECT_EQ((std::vector<Message>{{WM_COMMAND, 43}, {WM_COMMAND, 43}, {WM_SYSCOMMAND, 0x0123}}),
              g_ownProcedure);

    ::DestroyWindow(hWnd);
    EXPECT_EQ(nullptr, window.m_hWnd);
    ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

class TestPage : public CPropertyPage {
public:
    TestPage() : CPropertyPage(200) {}
    int initialised = 0;
    BOOL OnInitDialog() override {
        ++initialised;
        return CPropertyPage::OnInitDialog();
    }
};

class TestSheet : public CPropertySheet {
public:
    TestSheet() : CPropertySheet(L"Test Sheet") {}
    int initialised = 0;
    std::vector<UINT> systemCommands;

    BOOL OnInitDialog() override {
        ++initialised;
        return CPropertySheet::OnInitDialog();
    }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
        systemCommands.push_back(nID);
        if (nID != 0x0123) {
            CPropertySheet::OnSysCommand(nID, lParam);
        }
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestSheet, CPropertySheet)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

TEST(Sheet, ShowsModallyAndEndsAsClosed) {
    TestApp app;
    for (int button : {PSBTN_OK, PSBTN_CANCEL}) {
        TestSheet sheet;
        TestPage page;
        sheet.AddPage(&page);
        ScopedModalAction act([&] {
            ASSERT_NE(nullptr, sheet.m_hWnd);
            EXPECT_EQ(&sheet, CWnd::FromHandle(sheet.m_hWnd));
            EXPECT_EQ(sheet.m_hWnd, ::GetParent(page.m_hWnd));
            // The application answers ID_HELP, so the sheet offers Help.
            EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(sheet.m_hWnd, IDHELP)));
            ::SendMessageW(sheet.m_hWnd, WM_SYSCOMMAND, 0x0123, 0);
            ::PostMessageW(sheet.m_hWnd, PSM_PRESSBUTTON, button, 0);
        });
        EXPECT_EQ(button == PSBTN_OK ? IDOK : IDCANCEL, sheet.DoModal());
        EXPECT_TRUE(act.Ran());
        EXPECT_EQ(1, sheet.initialised);
        EXPECT_EQ(1, page.initialised);
        EXPECT_EQ(std::vector<UINT>{0x0123}, sheet.systemCommands);
        EXPECT_EQ(nullptr, sheet.m_hWnd);
        EXPECT_EQ(nullptr, page.m_hWnd);
    }
}

}  // namespace
