#include "bench/sweep/LibraryCalls.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "sim/platform/ImportTable.h"
#include "sim/platform/CallSweep.h"

namespace sweep {
namespace {

using LoadLibraryWFunction = HMODULE(WINAPI*)(LPCWSTR);
using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using FreeLibraryFunction = BOOL(WINAPI*)(HMODULE);

LoadLibraryWFunction g_loadLibraryW = nullptr;
GetProcAddressFunction g_getProcAddress = nullptr;
FreeLibraryFunction g_freeLibrary = nullptr;
// The extension library as last loaded through the sweep: its look-ups and its unloading are
// swept.
std::atomic<HMODULE> g_extension{nullptr};

bool IsExtensionLibrary(LPCWSTR name) {
    if (!name) {
        return false;
    }
    const wchar_t* base = wcsrchr(name, L'\\');
    return _wcsicmp(base ? base + 1 : name, L"XANPropPageExt.dll") == 0;
}

// A module handle is the module: loading has no unusable answer. A library of that name that
// lacks exports shows as failing look-ups.
HMODULE WINAPI SweptLoadLibraryW(LPCWSTR name) {
    if (!IsExtensionLibrary(name)) {
        return g_loadLibraryW(name);
    }
    if (sim::call_sweep::Fails("LoadLibraryW(XANPropPageExt.dll)")) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = g_loadLibraryW(name);
    if (module) {
        g_extension = module;
    }
    return module;
}

// An address cannot usefully be wrong: a look-up only fails.
FARPROC WINAPI SweptGetProcAddress(HMODULE module, LPCSTR name) {
    // An ordinal is a number below 0x10000 in place of a name.
    if (!module || module != g_extension.load() || reinterpret_cast<ULONG_PTR>(name) < 0x10000) {
        return g_getProcAddress(module, name);
    }
    if (sim::call_sweep::Active() &&
        sim::call_sweep::Fails(std::string("GetProcAddress(") + name + ")")) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return g_getProcAddress(module, name);
}

// A failing unload still lets go of the program's reference: Windows fails it only for a handle
// that holds none, and the program has nothing better to do than to go on.
BOOL WINAPI SweptFreeLibrary(HMODULE module) {
    if (!module || module != g_extension.load()) {
        return g_freeLibrary(module);
    }
    BOOL freed = g_freeLibrary(module);
    if (sim::call_sweep::Fails("FreeLibrary(XANPropPageExt.dll)")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return freed;
}

}  // namespace

bool RouteLibraryCallsThroughSweep() {
    return sim::ReplaceImport("kernel32.dll", "LoadLibraryW",
                              reinterpret_cast<void*>(&SweptLoadLibraryW),
                              reinterpret_cast<void**>(&g_loadLibraryW)) &&
           sim::ReplaceImport("kernel32.dll", "GetProcAddress",
                              reinterpret_cast<void*>(&SweptGetProcAddress),
                              reinterpret_cast<void**>(&g_getProcAddress)) &&
           sim::ReplaceImport("kernel32.dll", "FreeLibrary",
                              reinterpret_cast<void*>(&SweptFreeLibrary),
                              reinterpret_cast<void**>(&g_freeLibrary));
}

}  // namespace sweep
