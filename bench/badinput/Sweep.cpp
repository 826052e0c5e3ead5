#include "bench/badinput/Sweep.h"

#include <windows.h>

#include <cstdio>

#include "bench/Figures.h"

namespace badinput {
namespace {

// Mismatches printed per kind; the rest are only counted.
constexpr size_t kPrintedFailures = 5;

const char* g_kind = "start-up";
size_t g_index = 0;

// A fault nobody handles ends the run at once with the kind and the input that caused it; the
// seed and the index let the input be made again.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    DWORD code = record->ExceptionCode;
    unsigned long long address =
        record->NumberParameters >= 2 ? record->ExceptionInformation[1] : 0;
    std::printf("FAULT 0x%08lX at %p (address 0x%llX) in %s, input %zu\n", code,
                record->ExceptionAddress, address, g_kind, g_index);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void Tally::Fail(const std::string& why) {
    ++m_ran;
    if (Failed() <= kPrintedFailures) {
        std::printf("  %s, input %zu: %s\n", m_name.c_str(), m_ran - 1, why.c_str());
        std::fflush(stdout);
    }
}

void Tally::Judge(const std::vector<std::string>& mismatches) {
    if (mismatches.empty()) {
        Pass();
        return;
    }
    std::string why;
    for (const std::string& mismatch : mismatches) {
        why += (why.empty() ? "" : "; ") + mismatch;
    }
    Fail(why);
}

void Tally::LeftBehind(size_t count, const std::string& what) {
    if (count) {
        m_leftBehind += count;
        std::printf("  %s left behind: %s\n", m_name.c_str(), what.c_str());
        std::fflush(stdout);
    }
}

bool Tally::Report(size_t target) const {
    bool passed = bench::Figure((m_name + " passed").c_str(), static_cast<double>(m_passed),
                                "inputs", bench::Goal::AtLeast, static_cast<double>(target));
    bool clean = bench::Figure((m_name + " left behind").c_str(), static_cast<double>(m_leftBehind),
                               "items", bench::Goal::Equal, 0);
    return passed && clean && m_passed == m_ran;
}

ScopedPrivateCurrentUser::ScopedPrivateCurrentUser()
    : m_path(L"Software\\Halvo Setting bad-input sweep\\" +
             std::to_wstring(GetCurrentProcessId())) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    m_key = key;
}

ScopedPrivateCurrentUser::~ScopedPrivateCurrentUser() {
    if (m_key) {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(static_cast<HKEY>(m_key));
        RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
        // The parent goes with its last child; a sweep running beside this one keeps it.
        RegDeleteKeyW(HKEY_CURRENT_USER, m_path.substr(0, m_path.rfind(L'\\')).c_str());
    }
}

void SetCurrentInput(const char* kind, size_t index) {
    static bool installed = false;
    if (!installed) {
        SetUnhandledExceptionFilter(ReportFault);
        installed = true;
    }
    g_kind = kind;
    g_index = index;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Narrow(const std::wstring& text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        wchar_t c = text[i];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x" + Hex(c).substr(2);
        }
    }
    if (text.size() > limit) {
        out += "...(" + std::to_string(text.size()) + " units)";
    }
    return out;
}

}  // namespace badinput
