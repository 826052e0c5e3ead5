#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The lines HalvoCheck prints: one per start-up test, in the program's order, then the result.
// Only the first test that fails says what to do; the tests after it still print what they
// found, so that one run shows everything a person has to put right.
//
//   Halvo Setting start-up check 1.0.0.1
//   1 codec driver: OK, found \\?\hdaudio#...
//   2 effect set: FAILED, the driver reports 0x00000000: bit 3 (the Halvo effects) is clear
//     What to do: install the maker's audio driver package that includes the Halvo effects...
//   3 extension library: NOT CHECKED, ...
//   Result: Halvo Setting would end without a window (test 2 failed).
class CCheckReport {
public:
    using Printer = std::function<void(const std::wstring& line)>;

    explicit CCheckReport(Printer print);

    // The first line: what runs, and its version.
    void Title();

    void Passed(int test, const std::wstring& found);
    void Failed(int test, const std::wstring& found, const std::wstring& advice);
    // A test that needs what an earlier, failed test should have given.
    void NotChecked(int test, const std::wstring& reason);

    // Prints the result line; returns the exit code: 0 when every test passed, otherwise the
    // number of the first that failed.
    int Finish();

private:
    void Print(int test, const WCHAR* status, const std::wstring& text);

    Printer m_print;
    int m_firstFailed = 0;
};

// The name each test is printed with: "codec driver", ... "FX store".
const WCHAR* StartupTestName(int test);
