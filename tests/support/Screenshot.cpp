#include "tests/support/Screenshot.h"

#include "tests/support/BuildTree.h"

BOOL SaveWindowScreenshot(HWND hWnd, const std::wstring& fileName) {
    ::UpdateWindow(hWnd);
    RECT rect;
    if (!::GetWindowRect(hWnd, &rect)) {
        return FALSE;
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    BOOL captured = FALSE;
    if (bitmap) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        captured = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::SelectObject(memory, old);
    }
    BOOL written = FALSE;
    if (captured) {
        DWORD stride = ((width * 3) + 3) & ~3u;
        DWORD imageSize = stride * height;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        std::wstring directory = BuildTreePath(L"artifacts");
        ::CreateDirectoryW(directory.c_str(), nullptr);
        std::wstring path = directory + L"\\" + fileName;
        HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            written = ::WriteFile(out, &file, sizeof file, &done, nullptr) &&
                      ::WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &done, nullptr) &&
                      ::WriteFile(out, bits, imageSize, &done, nullptr);
            ::CloseHandle(out);
        }
    }
    if (bitmap) {
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written;
}
