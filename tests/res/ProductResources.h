#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <span>
#include <string>

#include "tests/support/BuildTree.h"

// A style or a size that gtest prints in hex.
struct Hex {
    DWORD value;
    bool operator==(const Hex&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Hex& hex) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hex.value));
    return out << text;
}

inline std::wstring ProductPath() {
    return BuildTreePath(L"app\\HalvoSetting.exe");
}

// The product opened as data: none of its code runs here.
class ProductResources : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = LoadLibraryExW(ProductPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        s_loadError = GetLastError();
    }

    static void TearDownTestSuite() {
        if (s_module) {
            FreeLibrary(s_module);
            s_module = nullptr;
        }
    }

    void SetUp() override {
        ASSERT_NE(nullptr, s_module)
            << "LoadLibraryExW of the product failed, error " << s_loadError;
    }

    static std::span<const BYTE> Find(LPCWSTR type, LPCWSTR name) {
        HRSRC found = FindResourceW(s_module, name, type);
        HGLOBAL loaded = found ? LoadResource(s_module, found) : nullptr;
        if (!loaded) {
            ADD_FAILURE() << "resource " << reinterpret_cast<ULONG_PTR>(name) << " of type "
                          << reinterpret_cast<ULONG_PTR>(type) << " not found";
            return {};
        }
        return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(s_module, found)};
    }

    static inline HMODULE s_module = nullptr;
    static inline DWORD s_loadError = 0;
};
