#pragma once

#include "CDialog.h"

#include <prsht.h>

// One page of a property sheet, built on a dialog template; its tab shows the template's caption.
class CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)
public:
    explicit CPropertyPage(UINT nIDTemplate);

    PROPSHEETPAGEW m_psp;

    // A page does not end the sheet: OK and Cancel belong to the sheet's buttons.
    void OnOK() override {}
    void OnCancel() override {}

private:
    static INT_PTR CALLBACK PageProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
