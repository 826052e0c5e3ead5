#include "app/PropPageSheet.h"

#include "app/AboutDlg.h"
#include "res/resource.h"

namespace {

// The sheet's Apply button.
constexpr int kApplyButton = 0x3021;

}  // namespace

IMPLEMENT_DYNAMIC(CPropPageSheet, CPropertySheet)

CPropPageSheet::CPropPageSheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage) {}

CPropPageSheet::~CPropPageSheet() = default;

BEGIN_MESSAGE_MAP(CPropPageSheet, CPropertySheet)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

BOOL CPropPageSheet::OnInitDialog() {
    BOOL result = CPropertySheet::OnInitDialog();

    // The program has no help: the button goes, and the buttons left of it close the gap. A sheet
    // made without a Help button has no gap: its buttons stay where they are.
    bool helpShown = false;
    if (CWnd* help = GetDlgItem(IDHELP)) {
        helpShown = (::GetWindowLongW(help->m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
        help->ShowWindow(SW_HIDE);
    }
    if (helpShown) {
        for (int id : {IDOK, IDCANCEL, kApplyButton}) {
            CWnd* button = GetDlgItem(id);
            if (!button) {
                continue;
            }
            RECT rect;
            button->GetWindowRect(&rect);
            ScreenToClient(&rect);
            int shift = (rect.right - rect.left) + 6;
            rect.left += shift;
            rect.right += shift;
            button->MoveWindow(&rect, TRUE);
        }
    }

    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        WCHAR about[256] = {};
        if (::LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, about, 256) > 0 && about[0]) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    return result;
}

void CPropPageSheet::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CPropertySheet::OnSysCommand(nID, lParam);
    }
}
