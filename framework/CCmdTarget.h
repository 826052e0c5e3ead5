#pragma once

#include "afx.h"
#include "afxmsgmap.h"

// A class whose messages and commands are routed through message maps.
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // Calls the handler of a WM_COMMAND (code, id) if this class or a base maps it.
    BOOL OnCmdMsg(UINT nID, int nCode);

    // The first entry for a message in the chain of maps, or null.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};
