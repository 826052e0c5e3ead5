#pragma once

#include "CWnd.h"

// A modal dialog from a template. Its messages come through the dialog procedure to WindowProc;
// what the map does not handle goes back to the dialog manager's default processing.
class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The dialog procedure's work for this dialog; the one place results are handed back.
    INT_PTR DispatchDialogMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Ties a new dialog window to this object.
    void AttachDialog(HWND hWnd);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Set while a message is being dispatched when it is left to the dialog manager.
    bool m_bUseDefault = false;

    friend class CPropertyPage;
};
