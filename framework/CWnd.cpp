#include "CWnd.h"

#include <map>
#include <memory>

#include "CDataExchange.h"
#include "CMenu.h"
#include "CWinApp.h"
#include "GdiObjects.h"

namespace {

// The property that ties a window to its framework object.
constexpr WCHAR kObjectProperty[] = L"HalvoFrameworkWindow";

}  // namespace

const CRuntimeClass CWnd::classCWnd = {"CWnd", static_cast<int>(sizeof(CWnd)),
                                       RUNTIME_CLASS(CCmdTarget)};
const CRuntimeClass* CWnd::GetRuntimeClass() const {
    return RUNTIME_CLASS(CWnd);
}

const CWnd CWnd::wndTop;  // m_hWnd null: HWND_TOP

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP messageMap = {&CCmdTarget::GetThisMessageMap, &entries[0]};
    return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const {
    return GetThisMessageMap();
}

CWnd::~CWnd() {
    ForgetWindow();
}

void CWnd::ForgetWindow() {
    if (m_hWnd && ::GetPropW(m_hWnd, kObjectProperty) == this) {
        ::RemovePropW(m_hWnd, kObjectProperty);
    }
    m_hWnd = nullptr;
}

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd) {
        return FALSE;
    }
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

void CWnd::SetPermanent(HWND hWnd) {
    m_hWnd = hWnd;
    ::SetPropW(hWnd, kObjectProperty, this);
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) {
        return nullptr;
    }
    if (auto* permanent = static_cast<CWnd*>(::GetPropW(hWnd, kObjectProperty))) {
        return permanent;
    }
    thread_local std::map<HWND, std::unique_ptr<CWnd>> temporary;
    std::unique_ptr<CWnd>& wrapper = temporary[hWnd];
    if (!wrapper) {
        wrapper = std::make_unique<CWnd>();
    }
    wrapper->m_hWnd = hWnd;
    return wrapper.get();
}

void CWnd::SetFont(CFont* pFont, BOOL bRedraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(pFont ? pFont->GetSafeHandle() : nullptr),
                bRedraw);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const {
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    CurrentMessage saved = m_current;
    m_current = {message, wParam, lParam};
    BOOL handled = FALSE;

    if (message == WM_COMMAND) {
        UINT nID = LOWORD(wParam);
        int nCode = HIWORD(wParam);
        handled = OnCmdMsg(nID, nCode);
        // Commands nobody on the window handles go on to the application object.
        if (!handled && nCode == CN_COMMAND && lParam == 0) {
            if (CCmdTarget* app = AfxGetApp()) {
                handled = app->OnCmdMsg(nID, nCode);
            }
        }
        if (handled) {
            *pResult = 0;
        }
    } else if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        const AFX_MSGMAP_ENTRY* entry =
            header ? FindMessageEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom))
                   : nullptr;
        if (entry) {
            entry->pfnDispatch(this, wParam, lParam, pResult);
            handled = TRUE;
        }
    } else if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0)) {
        entry->pfnDispatch(this, wParam, lParam, pResult);
        handled = TRUE;
    }

    m_current = saved;
    return handled;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) {
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

void CWnd::OnDestroy() {
    Default();
}

void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_pfnSuper) {
        return FALSE;
    }
    SetPermanent(hWnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    return m_pfnSuper != nullptr;
}

// The window procedure of subclassed windows. No exception leaves it.
LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CWnd*>(::GetPropW(hWnd, kObjectProperty));
    if (!self || !self->m_pfnSuper) {
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    }
    WNDPROC super = self->m_pfnSuper;
    CurrentMessage outer = self->m_current;
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // OnWndMsg did not get to put back the message this one interrupted, which a handler
        // further out may still pass to Default().
        self->m_current = outer;
        result = ::CallWindowProcW(super, hWnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The window is gone: give it its own procedure back and let go of it.
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        self->m_pfnSuper = nullptr;
        self->ForgetWindow();
        self->PostNcDestroy();
    }
    return result;
}
