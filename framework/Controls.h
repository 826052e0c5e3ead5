#pragma once

#include "CWnd.h"

#include <commctrl.h>

// The controls the program uses, each a wrapper of the messages it sends.

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(::SendMessageW(m_hWnd, BM_GETCHECK, 0, 0)); }
    void SetCheck(int nCheck) { ::SendMessageW(m_hWnd, BM_SETCHECK, nCheck, 0); }
};

class CEdit : public CWnd {};

class CStatic : public CWnd {
public:
    HBITMAP SetBitmap(HBITMAP hBitmap) {
        return reinterpret_cast<HBITMAP>(
            ::SendMessageW(m_hWnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap)));
    }
};

class CSliderCtrl : public CWnd {
public:
    int GetPos() const { return static_cast<int>(::SendMessageW(m_hWnd, TBM_GETPOS, 0, 0)); }
    void SetPos(int nPos) { ::SendMessageW(m_hWnd, TBM_SETPOS, TRUE, nPos); }
    void SetRangeMin(int nMin, BOOL bRedraw = FALSE) {
        ::SendMessageW(m_hWnd, TBM_SETRANGEMIN, bRedraw, nMin);
    }
    void SetRangeMax(int nMax, BOOL bRedraw = FALSE) {
        ::SendMessageW(m_hWnd, TBM_SETRANGEMAX, bRedraw, nMax);
    }
    void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE) {
        SetRangeMin(nMin, FALSE);
        SetRangeMax(nMax, bRedraw);
    }
    int GetRangeMin() const {
        return static_cast<int>(::SendMessageW(m_hWnd, TBM_GETRANGEMIN, 0, 0));
    }
    int GetRangeMax() const {
        return static_cast<int>(::SendMessageW(m_hWnd, TBM_GETRANGEMAX, 0, 0));
    }
};
