#include "bench/sweep/CrashGuard.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace sweep {
namespace {

// Set before the run and between its steps; a crash reads them without a lock, so each is a fixed
// buffer written whole.
char g_head[64] = "crash";
char g_place[160] = "the sweep";
std::once_flag g_installed;

// How MinGW's C++ runtime and Microsoft's throw.
constexpr DWORD kGccThrow = 0x20474343;
constexpr DWORD kMsvcThrow = 0xE06D7363;

const char* Named(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION: return "access violation";
        case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
        case EXCEPTION_PRIV_INSTRUCTION: return "privileged instruction";
        case EXCEPTION_INT_DIVIDE_BY_ZERO: return "division by zero";
        case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "array bounds exceeded";
        case EXCEPTION_IN_PAGE_ERROR: return "in-page error";
        case 0xC0000374: return "heap corruption";
        case 0xC0000409: return "stack buffer overrun";
        case kGccThrow:
        case kMsvcThrow: return "C++ exception thrown";
        default: return nullptr;
    }
}

// Writes the line and ends the process, taking no lock the crashed thread may hold.
[[noreturn]] void End(const char* what, const void* address) {
    char module[MAX_PATH] = "?";
    HMODULE owner = nullptr;
    ULONG_PTR offset = reinterpret_cast<ULONG_PTR>(address);
    if (address && ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<const char*>(address), &owner)) {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(owner, path, MAX_PATH);
        const char* base = std::strrchr(path, '\\');
        std::snprintf(module, sizeof module, "%s", base ? base + 1 : path);
        offset -= reinterpret_cast<ULONG_PTR>(owner);
    }
    char line[512];
    int length = std::snprintf(line, sizeof line, "%s crash: %s at %s+0x%llx in %s\n", g_head, what,
                               module, static_cast<unsigned long long>(offset), g_place);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written,
                nullptr);
    ::TerminateProcess(::GetCurrentProcess(), 4);
    for (;;) {
    }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (const char* what = Named(record->ExceptionCode)) {
        End(what, record->ExceptionAddress);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int) {
    End("abort", nullptr);
}

}  // namespace

void SetCrashLine(const std::string& head) {
    std::snprintf(g_head, sizeof g_head, "%s", head.c_str());
}

void SetCrashPlace(const std::string& place) {
    std::snprintf(g_place, sizeof g_place, "%s", place.c_str());
}

std::string CrashPlace() {
    return g_place;
}

void InstallCrashGuard() {
    std::call_once(g_installed, [] {
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        ::AddVectoredExceptionHandler(1, &OnException);
        std::signal(SIGABRT, &OnAbort);
    });
}

}  // namespace sweep
