// The program's entry point: everything happens in the application object.
#include "CWinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
