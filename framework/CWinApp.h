#pragma once

#include "CWnd.h"

// The command that asks for help.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// The one application object. The entry point runs InitInstance; when it returns FALSE the
// program ends after ExitInstance, without a message loop of its own.
class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    virtual int Run();

    // The registry key name settings would be kept under; nothing is kept here.
    void SetRegistryKey(LPCWSTR lpszRegistryKey) { m_pszRegistryKey = lpszRegistryKey; }
    // The program hosts no controls that need a container: nothing to enable.
    void EnableControlContainer() {}

    // The program has no help file: asking for help does nothing.
    afx_msg void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPCWSTR m_pszAppName = nullptr;
    LPCWSTR m_pszRegistryKey = nullptr;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;
};

// The application object, its main window, and the module that holds the resources.
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Whether the application handles ID_HELP: sheets and pages then carry a Help button.
BOOL AfxHelpEnabled();

// What the program's entry point runs.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
