// The extension library's export names as the program binds them, as the stand-in's list holds
// them, and as the built stand-in exports them: the same names in the same order, none twice.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "endpoints/ExtensionLibrary.h"
#include "tests/support/ExtensionLibrary.h"

namespace {

using Names = std::vector<std::string>;

Names ProgramNames() {
    return Names(std::begin(g_extensionExportNames), std::end(g_extensionExportNames));
}

// The names of `names` that `other` lacks.
Names Missing(const Names& names, const Names& other) {
    Names missing;
    for (const std::string& name : names) {
        if (std::find(other.begin(), other.end(), name) == other.end()) {
            missing.push_back(name);
        }
    }
    return missing;
}

Names Duplicates(const Names& names) {
    Names twice;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (!seen.insert(name).second) {
            twice.push_back(name);
        }
    }
    return twice;
}

// Holds two lists to each other: both ways, position by position, and each free of duplicates.
void ExpectSameList(const char* what, const Names& first, const char* whatOther,
                    const Names& second) {
    EXPECT_EQ(Names{}, Duplicates(first)) << what;
    EXPECT_EQ(Names{}, Duplicates(second)) << whatOther;
    EXPECT_EQ(Names{}, Missing(first, second)) << "in " << what << ", not in " << whatOther;
    EXPECT_EQ(Names{}, Missing(second, first)) << "in " << whatOther << ", not in " << what;
    ASSERT_EQ(first.size(), second.size());
    auto [a, b] = std::mismatch(first.begin(), first.end(), second.begin());
    if (a != first.end()) {
        ADD_FAILURE() << "the order differs first at position " << (a - first.begin()) + 1 << ": "
                      << *a << " in " << what << ", " << *b << " in " << whatOther;
    }
}

// The names the built library exports, in the order of their ordinals.
Names BuiltExportNames(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module) {
        ADD_FAILURE() << "cannot load the stand-in, error " << GetLastError();
        return {};
    }
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::pair<WORD, std::string>> byOrdinal;
    if (directory.VirtualAddress) {
        auto exports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
        auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            byOrdinal.emplace_back(ordinals[i], reinterpret_cast<const char*>(base + names[i]));
        }
    }
    FreeLibrary(module);
    std::sort(byOrdinal.begin(), byOrdinal.end());
    Names built;
    for (auto& [ordinal, name] : byOrdinal) {
        built.push_back(std::move(name));
    }
    return built;
}

TEST(ExportNames, TheProgramBindsTheStandInsListInItsOrder) {
    EXPECT_EQ(91u, std::size(g_extensionExportNames));
    ExpectSameList("the program's names", ProgramNames(), "the stand-in's list",
                   ExtensionExportNames());
}

TEST(ExportNames, TheBuiltStandInExportsItsList) {
    Names built = BuiltExportNames(ExtensionVariantDir(L"full") + L"\\XANPropPageExt.dll");
    ExpectSameList("the built stand-in", built, "the stand-in's list", ExtensionExportNames());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll"));
}

TEST(ExportNames, KeepTheLibrarysOwnSpellings) {
    const std::pair<size_t, const char*> kept[] = {
        {1, "HDAudVistaIsFirstTimeEffectFlag"},
        {5, "HDAudVistaLoundnessEqual"},
        {42, "Set_XAN_FRIST_BOOT"},
        {67, "Set_XAN_FRIST_HALVO_BOOT"},
        {84, "Set_XAN_HP_Status"},
        {91, "Set_XAN_KaraokeDMicVolume"},
    };
    for (const Names& names : {ProgramNames(), ExtensionExportNames()}) {
        ASSERT_EQ(91u, names.size());
        for (auto [position, name] : kept) {
            EXPECT_EQ(name, names[position - 1]) << "position " << position;
        }
    }
}

}  // namespace
