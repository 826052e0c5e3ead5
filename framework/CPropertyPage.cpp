#include "CPropertyPage.h"

#include "CWinApp.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

CPropertyPage::CPropertyPage(UINT nIDTemplate) : CDialog(nIDTemplate) {
    ZeroMemory(&m_psp, sizeof m_psp);
    m_psp.dwSize = sizeof m_psp;
    m_psp.dwFlags = PSP_DEFAULT;
    if (AfxHelpEnabled()) {
        m_psp.dwFlags |= PSP_HASHELP;
    }
    m_psp.hInstance = AfxGetResourceHandle();
    m_psp.pszTemplate = MAKEINTRESOURCEW(nIDTemplate);
    m_psp.pfnDlgProc = &CPropertyPage::PageProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
}

// The dialog procedure of every page: the page comes from PROPSHEETPAGE.lParam at
// WM_INITDIALOG. DispatchDialogMessage lets no exception out.
INT_PTR CALLBACK CPropertyPage::PageProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CPropertyPage* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        self->AttachDialog(hWnd);
    } else {
        self = reinterpret_cast<CPropertyPage*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!self) {
        return FALSE;
    }
    return self->DispatchDialogMessage(message, wParam, lParam);
}
