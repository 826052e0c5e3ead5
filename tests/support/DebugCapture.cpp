#include "tests/support/DebugCapture.h"

#include <windows.h>

#include <mutex>

namespace {

// Windows 10 raises the wide form first and falls back to the ANSI one when nobody handles it.
constexpr DWORD kPrintException = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

std::mutex g_mutex;
std::vector<std::string>* g_lines = nullptr;

LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if ((record->ExceptionCode != kPrintException &&
         record->ExceptionCode != kPrintExceptionWide) ||
        record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    std::string line;
    if (record->ExceptionCode == kPrintException) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        line.assign(text, length ? length - 1 : 0);
    } else {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        for (size_t i = 0; i + 1 < length; ++i) {
            line += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        }
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_lines) {
        g_lines->push_back(line);
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

ScopedDebugCapture::ScopedDebugCapture() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_lines = new std::vector<std::string>();
    }
    m_handler = AddVectoredExceptionHandler(1, CaptureDebugString);
}

ScopedDebugCapture::~ScopedDebugCapture() {
    RemoveVectoredExceptionHandler(m_handler);
    std::lock_guard<std::mutex> lock(g_mutex);
    delete g_lines;
    g_lines = nullptr;
}

std::vector<std::string> ScopedDebugCapture::Lines() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return *g_lines;
}
