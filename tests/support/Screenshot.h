#pragma once

#include <windows.h>

#include <string>

// Saves what a window shows on screen as a 24-bit BMP in build/artifacts/, for a person to look
// at after the run. FALSE when it could not be captured or written.
BOOL SaveWindowScreenshot(HWND hWnd, const std::wstring& fileName);
