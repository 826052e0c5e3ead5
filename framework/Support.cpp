// The small pieces behind the GDI, menu and data-exchange wrappers.
#include <map>
#include <memory>

#include "CDataExchange.h"
#include "CMenu.h"
#include "CWinApp.h"
#include "GdiObjects.h"

BOOL CBitmap::LoadBitmap(UINT nIDResource) {
    return Attach(::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource), IMAGE_BITMAP,
                               0, 0, LR_DEFAULTCOLOR));
}

CMenu* CMenu::FromHandle(HMENU hMenu) {
    if (!hMenu) {
        return nullptr;
    }
    thread_local std::map<HMENU, std::unique_ptr<CMenu>> temporary;
    std::unique_ptr<CMenu>& wrapper = temporary[hMenu];
    if (!wrapper) {
        wrapper = std::make_unique<CMenu>();
    }
    wrapper->m_hMenu = hMenu;
    return wrapper.get();
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (!rControl.m_hWnd) {
        rControl.Attach(::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC));
    }
}
