#pragma once

#include <afxwin.h>

// The application: the whole program runs in InitInstance, which always returns FALSE so that
// the process ends when the sheet closes or any start-up step fails.
class CPropertyPageApp : public CWinApp {
public:
    CPropertyPageApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

protected:
    DECLARE_MESSAGE_MAP()
};
