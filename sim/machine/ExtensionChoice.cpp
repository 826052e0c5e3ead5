#include "sim/machine/ExtensionChoice.h"

#include <windows.h>

#include <cwchar>

#include "sim/platform/ImportTable.h"

namespace sim::machine {
namespace {

using LoadLibraryWFunction = HMODULE(WINAPI*)(LPCWSTR);

LoadLibraryWFunction g_loadLibraryW = nullptr;
std::wstring g_chosenPath;

HMODULE WINAPI ChosenLoadLibraryW(LPCWSTR name) {
    if (!name || _wcsicmp(name, L"XANPropPageExt.dll") != 0) {
        return g_loadLibraryW(name);
    }
    if (g_chosenPath.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return g_loadLibraryW(g_chosenPath.c_str());
}

}  // namespace

bool RouteExtensionLibraryTo(const std::wstring& path) {
    g_chosenPath = path;
    return sim::ReplaceImport("kernel32.dll", "LoadLibraryW",
                              reinterpret_cast<void*>(&ChosenLoadLibraryW),
                              reinterpret_cast<void**>(&g_loadLibraryW));
}

std::wstring ExtensionVariantPath(const std::wstring& variant) {
    // A variant is a plain folder name: nothing that climbs out of the variants' folder.
    if (variant.empty() || variant.find_first_of(L"\\/:.") != std::wstring::npos) {
        return {};
    }
    WCHAR program[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    std::wstring path(program);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"extension\\" + variant +
           L"\\XANPropPageExt.dll";
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return {};
    }
    return path;
}

}  // namespace sim::machine
