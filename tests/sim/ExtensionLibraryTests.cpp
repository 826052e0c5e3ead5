#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ExtensionLibrary.h"

namespace {

using Names = std::vector<std::string>;

// Loads a stand-in by the bare file name, as the program does, and checks at the end that it is
// gone again: all variants share one module name, so one left loaded would answer the next
// LoadLibraryW in place of the variant asked for.
class ExtensionStandIn : public testing::Test {
protected:
    void Load(const wchar_t* variant) {
        std::wstring dir = ExtensionVariantDir(variant);
        ScopedDllDirectory search(dir);
        m_module = LoadLibraryW(L"XANPropPageExt.dll");
        ASSERT_NE(nullptr, m_module) << "error " << GetLastError();
        // A stray copy next to the test program would be found before the one asked for.
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(m_module, path, MAX_PATH);
        ASSERT_EQ(dir + L"\\XANPropPageExt.dll", std::wstring(path));
    }

    // The names of the list that the loaded library does not answer.
    Names Unresolved() const {
        Names missing;
        for (const std::string& name : ExtensionExportNames()) {
            if (!GetProcAddress(m_module, name.c_str())) {
                missing.push_back(name);
            }
        }
        return missing;
    }

    void TearDown() override {
        if (m_module) {
            EXPECT_TRUE(FreeLibrary(m_module));
        }
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll"));
    }

    HMODULE m_module = nullptr;
};

TEST_F(ExtensionStandIn, FullAnswersEveryName) {
    ASSERT_NO_FATAL_FAILURE(Load(L"full"));
    EXPECT_EQ(91u, ExtensionExportNames().size());  // an empty list would pass below
    EXPECT_EQ(Names{}, Unresolved());
}

TEST_F(ExtensionStandIn, MissingLastLacksOnlyTheLastName) {
    ASSERT_NO_FATAL_FAILURE(Load(L"missing-last"));
    EXPECT_EQ(Names{ExtensionExportNames().back()}, Unresolved());
}

TEST_F(ExtensionStandIn, MissingMiddleLacksOnlyItsOneName) {
    ASSERT_NO_FATAL_FAILURE(Load(L"missing-middle"));
    EXPECT_EQ(Names{"Set_XAN_LOUDNESS_EQUAL"}, Unresolved());
}

TEST_F(ExtensionStandIn, WrongCaseAnswersOnlyTheOtherSpelling) {
    ASSERT_NO_FATAL_FAILURE(Load(L"wrong-case"));
    EXPECT_EQ(Names{"Set_XAN_HPP"}, Unresolved());
    EXPECT_NE(nullptr, GetProcAddress(m_module, "Set_XAN_Hpp"));
}

// Loading under Wine proves little here: Wine has every DLL. Vista x64 has msvcrt but no UCRT.
TEST_F(ExtensionStandIn, ImportsOnlyWhatVistaShips) {
    ASSERT_NO_FATAL_FAILURE(Load(L"full"));
    auto base = reinterpret_cast<const BYTE*>(m_module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, nt->OptionalHeader.Magic);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, imports.VirtualAddress);
    Names dlls;
    auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; entry->Name != 0; ++entry) {
        std::string name = reinterpret_cast<const char*>(base + entry->Name);
        CharLowerA(name.data());
        dlls.push_back(name);
    }
    EXPECT_EQ((Names{"kernel32.dll", "msvcrt.dll"}), dlls);
}

}  // namespace
