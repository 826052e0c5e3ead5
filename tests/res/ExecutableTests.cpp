// HalvoSetting.exe as a file: what a bare Windows Vista x64 needs to start it. Wine has every DLL
// and starts nearly anything, so the headers are read from the bytes instead.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/BuildTree.h"

namespace {

using Names = std::vector<std::string>;

// What Vista x64 itself ships and the program may use. No api-ms-win-* sets, no UCRT, no Visual
// C++ runtime: the C runtime is msvcrt.
const Names kVistaDlls = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                          "kernel32.dll", "msvcrt.dll",   "ole32.dll",    "oleaut32.dll",
                          "setupapi.dll", "shell32.dll",  "shlwapi.dll",  "user32.dll",
                          "uxtheme.dll",  "version.dll"};

class ProductImage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ReadProduct());
        ASSERT_GE(m_file.size(), sizeof(IMAGE_DOS_HEADER));
        auto dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
        m_nt = At<IMAGE_NT_HEADERS64>(dos->e_lfanew);
        ASSERT_NE(nullptr, m_nt);
        ASSERT_EQ(DWORD(IMAGE_NT_SIGNATURE), m_nt->Signature);
    }

    void ReadProduct() {
        ASSERT_TRUE(ReadWholeFile(BuildTreePath(L"app\\HalvoSetting.exe"), m_file))
            << "cannot read the product, error " << GetLastError();
    }

    static bool ReadWholeFile(const std::wstring& path, std::vector<BYTE>& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        LARGE_INTEGER size = {};
        GetFileSizeEx(file, &size);
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        return ok && read == bytes.size();
    }

    // A section's name; a long one ("/4") is kept in the string table after the symbols.
    std::string SectionName(const IMAGE_SECTION_HEADER& section) const {
        std::string name(reinterpret_cast<const char*>(section.Name),
                         strnlen(reinterpret_cast<const char*>(section.Name), 8));
        if (name.size() < 2 || name[0] != '/') {
            return name;
        }
        size_t offset = m_nt->FileHeader.PointerToSymbolTable +
                        18 * size_t{m_nt->FileHeader.NumberOfSymbols} + std::stoul(name.substr(1));
        name.clear();
        while (offset < m_file.size() && m_file[offset] != 0) {
            name.push_back(static_cast<char>(m_file[offset++]));
        }
        return name;
    }

    const IMAGE_SECTION_HEADER* FindSection(const std::string& name) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(m_nt);
        for (WORD i = 0; i < m_nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (SectionName(*section) == name) {
                return section;
            }
        }
        return nullptr;
    }

    // A structure at a file offset, or nullptr when the file is too short for it.
    template <typename T>
    const T* At(size_t offset) const {
        if (offset > m_file.size() || m_file.size() - offset < sizeof(T)) {
            return nullptr;
        }
        return reinterpret_cast<const T*>(m_file.data() + offset);
    }

    // The file offset of an address in the loaded image, through the section table.
    size_t OffsetOf(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(m_nt);
        for (WORD i = 0; i < m_nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress &&
                rva - section->VirtualAddress < section->SizeOfRawData) {
                return section->PointerToRawData + (rva - section->VirtualAddress);
            }
        }
        ADD_FAILURE() << "no section holds address 0x" << std::hex << rva;
        return m_file.size();
    }

    std::string LowerCaseString(DWORD rva) const {
        size_t offset = OffsetOf(rva);
        std::string text;
        while (offset < m_file.size() && m_file[offset] != 0) {
            text.push_back(static_cast<char>(std::tolower(m_file[offset++])));
        }
        return text;
    }

    // The names of the DLLs a directory of descriptors lists; each descriptor names its DLL
    // through the member `Name` or `DllNameRVA`.
    template <typename Descriptor, DWORD Descriptor::*Name>
    Names DllNames(int directory) const {
        Names names;
        DWORD rva = m_nt->OptionalHeader.DataDirectory[directory].VirtualAddress;
        if (rva == 0) {
            return names;
        }
        for (size_t offset = OffsetOf(rva);; offset += sizeof(Descriptor)) {
            const Descriptor* entry = At<Descriptor>(offset);
            if (!entry) {
                ADD_FAILURE() << "directory " << directory << " runs past the end of the file";
                break;
            }
            if (entry->*Name == 0) {
                break;
            }
            names.push_back(LowerCaseString(entry->*Name));
        }
        return names;
    }

    std::vector<BYTE> m_file;
    const IMAGE_NT_HEADERS64* m_nt = nullptr;
};

TEST_F(ProductImage, IsA64BitWindowsProgramVistaStarts) {
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, m_nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, m_nt->OptionalHeader.Magic);  // PE32+
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, m_nt->OptionalHeader.Subsystem);
    // Vista's loader refuses a program that asks for a later subsystem than its own 6.0.
    WORD major = m_nt->OptionalHeader.MajorSubsystemVersion;
    WORD minor = m_nt->OptionalHeader.MinorSubsystemVersion;
    EXPECT_TRUE(major < 6 || (major == 6 && minor == 0)) << major << "." << minor;
}

// Built twice from the same sources, the program is the same file: no link time in its header.
TEST_F(ProductImage, CarriesNoLinkTime) {
    EXPECT_EQ(0u, m_nt->FileHeader.TimeDateStamp);
}

// The CRC-32 of zlib and PNG, which the debug link states.
DWORD Crc32(const std::vector<BYTE>& bytes) {
    DWORD crc = 0xFFFFFFFF;
    for (BYTE byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
    }
    return ~crc;
}

// The release build ships the program without its symbols, which go to HalvoSetting.exe.debug
// beside it; the program names that file and its checksum, so a debugger finds the right one.
TEST_F(ProductImage, ReleaseKeepsItsSymbolsApart) {
    std::vector<BYTE> symbols;
    if (!ReadWholeFile(BuildTreePath(L"app\\HalvoSetting.exe.debug"), symbols)) {
        GTEST_SKIP() << "not a release build: no HalvoSetting.exe.debug";
    }
    EXPECT_LE(m_file.size(), 450u * 1024);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(m_nt);
    for (WORD i = 0; i < m_nt->FileHeader.NumberOfSections; ++i, ++section) {
        EXPECT_NE(0u, SectionName(*section).rfind(".debug", 0)) << SectionName(*section);
    }
    const IMAGE_SECTION_HEADER* link = FindSection(".gnu_debuglink");
    ASSERT_NE(nullptr, link);
    // The file's name, NUL-padded to a multiple of 4, then its CRC-32.
    const char kName[] = "HalvoSetting.exe.debug";
    const size_t crcAt = (sizeof kName + 3) / 4 * 4;
    ASSERT_GE(link->SizeOfRawData, crcAt + 4);
    ASSERT_LE(link->PointerToRawData + crcAt + 4, m_file.size());
    const BYTE* contents = m_file.data() + link->PointerToRawData;
    EXPECT_STREQ(kName, reinterpret_cast<const char*>(contents));
    DWORD crc = 0;
    std::memcpy(&crc, contents + crcAt, sizeof crc);
    EXPECT_EQ(Crc32(symbols), crc);
}

TEST_F(ProductImage, ImportsOnlyDllsVistaShips) {
    Names imports = DllNames<IMAGE_IMPORT_DESCRIPTOR, &IMAGE_IMPORT_DESCRIPTOR::Name>(
        IMAGE_DIRECTORY_ENTRY_IMPORT);
    Names delayed = DllNames<IMAGE_DELAYLOAD_DESCRIPTOR, &IMAGE_DELAYLOAD_DESCRIPTOR::DllNameRVA>(
        IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    EXPECT_NE(imports.end(), std::find(imports.begin(), imports.end(), "kernel32.dll"));
    imports.insert(imports.end(), delayed.begin(), delayed.end());
    Names foreign;
    for (const std::string& dll : imports) {
        if (std::find(kVistaDlls.begin(), kVistaDlls.end(), dll) == kVistaDlls.end()) {
            foreign.push_back(dll);
        }
    }
    EXPECT_EQ(Names{}, foreign);
}

}  // namespace
