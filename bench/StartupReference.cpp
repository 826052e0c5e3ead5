// The floor for start-up: the same dialog template as the effect page, in a bare one-page
// property sheet, with nothing else (no COM, no driver, no endpoints). Its first paint under the
// same Wine is the limit the program's start-up is measured against.
#include <windows.h>
#include <commctrl.h>

#include "sim/machine/Instrument.h"
#include "res/resource.h"

int wmain() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    bench::InstrumentFromEnvironment();

    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.hInstance = ::GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(IDD_SOUND_ROOM);
    page.pfnDlgProc = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
        return message == WM_INITDIALOG;
    };
    PROPSHEETHEADERW sheet = {};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE;
    sheet.hInstance = page.hInstance;
    sheet.pszCaption = L"Halvo Setting";
    sheet.nPages = 1;
    sheet.ppsp = &page;
    return ::PropertySheetW(&sheet) < 0 ? 1 : 0;
}
