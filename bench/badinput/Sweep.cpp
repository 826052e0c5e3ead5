#include "bench/badinput/Sweep.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "bench/Figures.h"
#include "bench/HandleCount.h"
#include "bench/badinput/GuardingMallocSpy.h"

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

void Tally::LeftBehind(const char* looked, size_t count, const std::string& what) {
    if (std::find(m_looked.begin(), m_looked.end(), looked) == m_looked.end()) {
        m_looked.push_back(looked);
    }
    if (count) {
        m_leftBehind += count;
        std::printf("  %s left behind: %zu %s%s%s\n", m_name.c_str(), count, looked,
                    what.empty() ? "" : ": ", what.c_str());
        std::fflush(stdout);
    }
}

bool Tally::Report(size_t target) const {
    bool passed = bench::CountFigure((m_name + " passed").c_str(), static_cast<double>(m_passed),
                                     m_ran, "inputs", bench::Goal::AtLeast,
                                     static_cast<double>(target));
    std::string leftBehind = m_name + " left behind";
    if (m_looked.empty()) {
        bench::NotMeasured(leftBehind.c_str(), "nothing looks for what this kind leaves");
        return passed && m_passed == m_ran;
    }
    std::string looked;
    for (const std::string& sort : m_looked) {
        looked += (looked.empty() ? "" : ", ") + sort;
    }
    std::printf("%s looks for: %s\n", leftBehind.c_str(), looked.c_str());
    bool clean = bench::Figure(leftBehind.c_str(), static_cast<double>(m_leftBehind), "items",
                               bench::Goal::Equal, 0);
    return passed && clean && m_passed == m_ran;
}

ProcessHoldings::ProcessHoldings(Looks looks)
    : m_blocks(LiveCoTaskMemBlocks()),
      m_handles(looks == Looks::ForBlocksAndHandles ? bench::CountOpenHandles()
                                                    : bench::kHandlesNotCounted) {}

void ProcessHoldings::LeftBehindSince(Tally& tally) const {
    size_t blocks = LiveCoTaskMemBlocks();
    tally.LeftBehind("CoTaskMem blocks", blocks > m_blocks ? blocks - m_blocks : 0);
    if (m_handles == bench::kHandlesNotCounted) {
        return;
    }
    long handles = bench::CountOpenHandles();
    if (handles == bench::kHandlesNotCounted) {
        return;
    }
    tally.LeftBehind("handles", handles > m_handles ? static_cast<size_t>(handles - m_handles) : 0);
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
