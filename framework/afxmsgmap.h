#pragma once

#include <windows.h>
#include <commctrl.h>

// Message maps: a static table per class, walked from the most derived class to its bases.
// Each entry macro fixes one handler signature, written in the comment above it; the entry holds
// a small function, made for that handler, that calls it with the message's arguments.

class CCmdTarget;

// Calls an entry's handler on the target; the handler's result goes to *pResult.
using AFX_PDISPATCH = void (*)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message
    UINT nCode;     // notification code for WM_COMMAND and WM_NOTIFY
    UINT nID;       // control or command id
    UINT nLastID;
    AFX_PDISPATCH pfnDispatch;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#ifndef CN_COMMAND
#define CN_COMMAND 0  // a menu or accelerator command
#endif

namespace afx_detail {

// The class a member function belongs to.
template <class F>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};

template <auto fn>
using ClassOf = typename MemberOf<decltype(fn)>::Class;

// void ()
template <auto fn>
void DispatchVoid(CCmdTarget* target, WPARAM, LPARAM, LRESULT* result) {
    (static_cast<ClassOf<fn>*>(target)->*fn)();
    *result = 0;
}

// void (UINT, LPARAM)
template <auto fn>
void DispatchUintLparam(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    (static_cast<ClassOf<fn>*>(target)->*fn)(static_cast<UINT>(wParam), lParam);
    *result = 0;
}

// void (NMHDR*, LRESULT*)
template <auto fn>
void DispatchNotify(CCmdTarget* target, WPARAM, LPARAM lParam, LRESULT* result) {
    *result = 0;
    (static_cast<ClassOf<fn>*>(target)->*fn)(reinterpret_cast<NMHDR*>(lParam), result);
}

}  // namespace afx_detail

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        [[maybe_unused]] typedef theClass ThisClass;    \
        typedef baseClass TheBaseClass;                 \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {
#define END_MESSAGE_MAP()                                                                        \
    { 0, 0, 0, 0, nullptr }                                                                      \
    }                                                                                            \
    ;                                                                                            \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]}; \
    return &messageMap;                                                                          \
    }

// void memberFxn()
#define ON_COMMAND(id, memberFxn)                                          \
    {WM_COMMAND, CN_COMMAND, static_cast<UINT>(id), static_cast<UINT>(id), \
     &afx_detail::DispatchVoid<memberFxn>},

// void memberFxn()
#define ON_CONTROL(notifyCode, id, memberFxn)                                                 \
    {WM_COMMAND, static_cast<UINT>(notifyCode), static_cast<UINT>(id), static_cast<UINT>(id), \
     &afx_detail::DispatchVoid<memberFxn>},

// void memberFxn()
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// void memberFxn(NMHDR* pNMHDR, LRESULT* pResult)
#define ON_NOTIFY(notifyCode, id, memberFxn)                                                 \
    {WM_NOTIFY, static_cast<UINT>(notifyCode), static_cast<UINT>(id), static_cast<UINT>(id), \
     &afx_detail::DispatchNotify<memberFxn>},

// void OnDestroy()
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, &afx_detail::DispatchVoid<&ThisClass::OnDestroy>},

// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, 0, &afx_detail::DispatchUintLparam<&ThisClass::OnSysCommand>},
