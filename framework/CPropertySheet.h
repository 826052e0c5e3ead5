#pragma once

#include "CPropertyPage.h"

#include <vector>

// A modal property sheet (comctl32's). Its window is subclassed as soon as the sheet is
// initialised, so its messages pass through WindowProc and the message map.
class CPropertySheet : public CWnd {
    DECLARE_DYNAMIC(CPropertySheet)
public:
    explicit CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);

    // Nothing here throws: a page that cannot be listed for want of memory keeps the sheet from
    // being shown at all.
    void AddPage(CPropertyPage* pPage);
    INT_PTR GetPageCount() const { return static_cast<INT_PTR>(m_pages.size()); }

    // IDOK or IDCANCEL as the sheet was closed; -1 when it could not be shown, a page missing
    // or no memory for the pages' descriptions among the reasons.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog() { return TRUE; }

    PROPSHEETHEADERW m_psh;

private:
    static int CALLBACK SheetCallback(HWND hWnd, UINT message, LPARAM lParam);

    std::vector<CPropertyPage*> m_pages;
    bool m_bPageMissing = false;
};
