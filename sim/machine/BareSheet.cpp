#include "sim/machine/BareSheet.h"

#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

namespace bench {

int ShowBareSheet() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
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

}  // namespace bench
