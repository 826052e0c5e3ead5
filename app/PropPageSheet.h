#pragma once

#include <afxdlgs.h>

// The program's main window: a modal sheet with the effect page, no Help button, and an About
// entry in its system menu.
class CPropPageSheet : public CPropertySheet {
    DECLARE_DYNAMIC(CPropPageSheet)
public:
    CPropPageSheet(LPCWSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropPageSheet() override;

    BOOL OnInitDialog() override;

protected:
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
