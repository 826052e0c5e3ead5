// HalvoCheck.exe: says why Halvo Setting shows nothing. It makes the program's start-up tests
// with the program's own code and prints one line per test; the exit code is 0 when the sheet
// would show, otherwise the number of the first test that failed.
#include <windows.h>

#include <cwchar>
#include <string>

#include "check/CheckReport.h"
#include "check/StartupCheck.h"

namespace {

// Help asked for, or an argument the program does not take: no test is made then.
constexpr int kUsageExitCode = 100;

// A console gets the text as it is; a file or a pipe gets it in UTF-8, which keeps every
// character of an endpoint's name.
void PrintLine(const std::wstring& text) {
    std::wstring line = text + L"\r\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    if (size <= 0) {
        return;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void PrintUsage() {
    PrintLine(L"usage: HalvoCheck");
    PrintLine(L"Makes Halvo Setting's start-up tests in its order and prints what each found;");
    PrintLine(L"for the first that fails, it says what to do. It changes nothing.");
    PrintLine(L"Exit code: 0 when Halvo Setting would show its sheet, otherwise the number of");
    PrintLine(L"the first test that failed (1 to 7); 100 for an argument it does not take.");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) {
        bool help =
            argc == 2 && (std::wcscmp(argv[1], L"/?") == 0 || std::wcscmp(argv[1], L"-h") == 0 ||
                          std::wcscmp(argv[1], L"--help") == 0);
        if (!help) {
            PrintLine(std::wstring(L"HalvoCheck takes no arguments: ") + argv[1]);
        }
        PrintUsage();
        return help ? 0 : kUsageExitCode;
    }
    CCheckReport report(PrintLine);
    return RunStartupChecks(report);
}
