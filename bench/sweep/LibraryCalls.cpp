#include "bench/sweep/LibraryCalls.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "sim/platform/CallSweep.h"

namespace sweep {
namespace {

using LoadLibraryWFunction = HMODULE(WINAPI*)(LPCWSTR);
using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, LPCSTR);

LoadLibraryWFunction g_loadLibraryW = nullptr;
GetProcAddressFunction g_getProcAddress = nullptr;
// The extension library as last loaded through the sweep: its look-ups are swept.
std::atomic<HMODULE> g_extension{nullptr};

bool IsExtensionLibrary(LPCWSTR name) {
    if (!name) {
        return false;
    }
    const wchar_t* base = wcsrchr(name, L'\\');
    return _wcsicmp(base ? base + 1 : name, L"XANPropPageExt.dll") == 0;
}

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

// The import table slot of function `name` imported from `dll` by this program, or null.
void** ImportSlot(const char* dll, const char* name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) {
        return nullptr;
    }
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

bool Replace(void** slot, void* function) {
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        return false;
    }
    *slot = function;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

}  // namespace

bool RouteLibraryCallsThroughSweep() {
    void** load = ImportSlot("kernel32.dll", "LoadLibraryW");
    void** lookUp = ImportSlot("kernel32.dll", "GetProcAddress");
    if (!load || !lookUp) {
        return false;
    }
    if (!g_loadLibraryW) {
        g_loadLibraryW = reinterpret_cast<LoadLibraryWFunction>(*load);
        g_getProcAddress = reinterpret_cast<GetProcAddressFunction>(*lookUp);
    }
    return Replace(load, reinterpret_cast<void*>(&SweptLoadLibraryW)) &&
           Replace(lookUp, reinterpret_cast<void*>(&SweptGetProcAddress));
}

}  // namespace sweep
