#pragma once

#include "CWnd.h"

// The context of one DoDataExchange pass.
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Ties a control wrapper to the dialog's control with that id, once; it only attaches the handle.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
