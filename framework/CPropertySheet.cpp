#include "CPropertySheet.h"

#include <new>

#include "CWinApp.h"

namespace {

// The sheet being shown on this thread: the sheet callback gets only the window.
thread_local CPropertySheet* t_sheetBeingShown = nullptr;

}  // namespace

IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

CPropertySheet::CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
    ZeroMemory(&m_psh, sizeof m_psh);
    m_psh.dwSize = sizeof m_psh;
    m_psh.dwFlags = PSH_PROPSHEETPAGE;
    if (AfxHelpEnabled()) {
        m_psh.dwFlags |= PSH_HASHELP;
    }
    m_psh.hwndParent = pParentWnd ? pParentWnd->m_hWnd : nullptr;
    m_psh.hInstance = AfxGetResourceHandle();
    m_psh.pszCaption = pszCaption;
    m_psh.nStartPage = iSelectPage;
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    try {
        m_pages.push_back(pPage);
    } catch (const std::bad_alloc&) {
        m_bPageMissing = true;
    }
}

INT_PTR CPropertySheet::DoModal() {
    if (m_bPageMissing) {
        return -1;
    }
    std::vector<PROPSHEETPAGEW> pages;
    try {
        pages.reserve(m_pages.size());
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (CPropertyPage* page : m_pages) {
        pages.push_back(page->m_psp);  // room was made: this cannot allocate
    }
    m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    m_psh.dwFlags &= ~static_cast<DWORD>(PSH_MODELESS);
    m_psh.nPages = static_cast<UINT>(pages.size());
    m_psh.ppsp = pages.data();
    m_psh.pfnCallback = &CPropertySheet::SheetCallback;

    CPropertySheet* outer = t_sheetBeingShown;
    t_sheetBeingShown = this;
    INT_PTR result = ::PropertySheetW(&m_psh);
    t_sheetBeingShown = outer;
    m_psh.ppsp = nullptr;
    if (result < 0) {
        return -1;
    }
    return result > 0 ? IDOK : IDCANCEL;
}

// comctl32 calls this while the sheet window initialises. No exception leaves it.
int CALLBACK CPropertySheet::SheetCallback(HWND hWnd, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && t_sheetBeingShown && !t_sheetBeingShown->m_hWnd) {
        CPropertySheet* sheet = t_sheetBeingShown;
        try {
            sheet->SubclassWindow(hWnd);
            sheet->OnInitDialog();
        } catch (...) {
        }
    }
    return 0;
}
