#include "check/CheckReport.h"

#include <utility>

#include "check/StartupCheck.h"
#include "res/Version.h"

const WCHAR* StartupTestName(int test) {
    switch (test) {
        case CHECK_CODEC_DRIVER: return L"codec driver";
        case CHECK_EFFECT_SET: return L"effect set";
        case CHECK_EXTENSION_LIBRARY: return L"extension library";
        case CHECK_EXTENSION_EXPORTS: return L"library exports";
        case CHECK_SPEAKER_ENDPOINT: return L"speaker endpoint";
        case CHECK_WINDOWS_VERSION: return L"Windows version";
        case CHECK_FX_STORE: return L"FX store";
        default: return L"unknown test";
    }
}

CCheckReport::CCheckReport(Printer print) : m_print(std::move(print)) {}

void CCheckReport::Print(int test, const WCHAR* status, const std::wstring& text) {
    m_print(std::to_wstring(test) + L" " + StartupTestName(test) + L": " + status + L", " + text);
}

void CCheckReport::Title() {
    m_print(L"Halvo Setting start-up check " HALVO_VERSION_TEXT);
}

void CCheckReport::Passed(int test, const std::wstring& found) {
    Print(test, L"OK", found);
}

void CCheckReport::Failed(int test, const std::wstring& found, const std::wstring& advice) {
    Print(test, L"FAILED", found);
    if (m_firstFailed == 0) {
        m_firstFailed = test;
        m_print(L"  What to do: " + advice);
    }
}

void CCheckReport::NotChecked(int test, const std::wstring& reason) {
    Print(test, L"NOT CHECKED", reason);
}

int CCheckReport::Finish() {
    if (m_firstFailed == 0) {
        m_print(L"Result: Halvo Setting would show its sheet.");
    } else {
        m_print(L"Result: Halvo Setting would end without a window (test " +
                std::to_wstring(m_firstFailed) + L" failed).");
    }
    return m_firstFailed;
}
