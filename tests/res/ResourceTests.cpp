// The dialogs, strings, manifest and version information of the built HalvoSetting.exe, read
// back as the program and Windows read them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/res/ProductResources.h"
#include "tests/support/DialogTemplate.h"

namespace {

// Dialogs.

const TemplateName kButton = TemplateName::Ordinal(0x0080);
const TemplateName kEdit = TemplateName::Ordinal(0x0081);
const TemplateName kStatic = TemplateName::Ordinal(0x0082);

struct DialogHeader {
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    const wchar_t* title;
};

// Every dialog of the program uses the shell font and has neither menu nor class of its own.
void CheckDialog(std::span<const BYTE> bytes, const DialogHeader& expected,
                 const std::vector<DialogItem>& items) {
    std::optional<DialogTemplateEx> dialog = ParseDialogTemplateEx(bytes.data(), bytes.size());
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Hex{expected.style}, Hex{dialog->style});
    EXPECT_EQ(Hex{expected.exStyle}, Hex{dialog->exStyle});
    EXPECT_EQ(0, dialog->x);
    EXPECT_EQ(0, dialog->y);
    EXPECT_EQ(expected.cx, dialog->cx);
    EXPECT_EQ(expected.cy, dialog->cy);
    EXPECT_EQ(std::wstring(expected.title), dialog->title);
    EXPECT_EQ(L"MS Shell Dlg", dialog->typeface);
    EXPECT_EQ(8, dialog->pointSize);
    EXPECT_EQ(FW_DONTCARE, dialog->weight);
    EXPECT_EQ(FALSE, int{dialog->italic});
    EXPECT_EQ(DEFAULT_CHARSET, int{dialog->charset});
    EXPECT_EQ(TemplateName(), dialog->menu);
    EXPECT_EQ(TemplateName(), dialog->windowClass);
    ASSERT_EQ(items.size(), dialog->items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i], dialog->items[i]) << "control " << i;
    }
}

TEST_F(ProductResources, AboutBoxTemplate) {
    const std::vector<DialogItem> items = {
        {-1, kStatic, TemplateName::Ordinal(128), 0x50000003, 0, 11, 15, 21, 20},
        {-1, kStatic, L"Halvo Setting Version 1.0", 0x50020080, 0, 40, 12, 119, 8},
        {-1, kStatic, L"Copyright (C) 2026 Halvo Setting", 0x50020000, 0, 40, 27, 119, 8},
        {IDOK, kButton, L"OK", 0x50030001, 0, 178, 7, 50, 16},
    };
    CheckDialog(Find(RT_DIALOG, MAKEINTRESOURCEW(100)),
                {0x80C800C8, 0, 235, 55, L"About Halvo Setting"}, items);
}

TEST_F(ProductResources, SoundRoomTemplate) {
    const DWORD box = 0x50010003, text = 0x50020000;
    const std::vector<DialogItem> items = {
        // Starts hidden: the compiler must not have added WS_VISIBLE.
        {1000, kButton, L"Halvo Bypass", 0x40010003, 0, 20, 21, 59, 10},
        {1001, kButton, L"Sound Space Expander", box, 0, 20, 51, 90, 10},
        {1002, kButton, L"Halvo Headphone", box, 0, 20, 68, 73, 10},
        {1003, kButton, L"Natural Bass", box, 0, 20, 96, 56, 10},
        {1006, kStatic, L"", 0x5000000E, 0, 214, 36, 15, 13},
        {-1, kStatic, L"Bass Boost:", text, 0, 31, 114, 38, 8},
        {-1, kStatic, L"6", text, 0, 199, 114, 8, 8},
        {1004, kEdit, L"", 0x50810080, 0, 218, 112, 19, 14},
        {1005, L"msctls_trackbar32", L"", 0x50010018, 0, 91, 111, 100, 15},
        {-1, kStatic, L"Copyright (C) 2026 Halvo Setting developers.", text, 0, 18, 155, 214, 12},
        {-1, kStatic, L"0", text, 0, 79, 114, 8, 8},
        {-1, kStatic, L"All rights reserved.", text, 0, 18, 171, 239, 9},
        {-1, kStatic, L"Halvo, Halvo Headphone and Natural Bass are our effect names.", text, 0, 19,
         183, 239, 9},
        {-1, kStatic, L"This program is protected by copyright law. Copying it or", text, 0, 19,
         198, 239, 9},
        {-1, kStatic, L"parts of it without permission is not allowed.", text, 0, 19, 210, 239, 9},
    };
    CheckDialog(Find(RT_DIALOG, MAKEINTRESOURCEW(102)),
                {0x90C800C8, 0x00040000, 280, 255, L"Halvo Setting"}, items);
}

TEST_F(ProductResources, AboutCommandString) {
    wchar_t text[64] = {};
    int length = LoadStringW(s_module, 101, text, 64);
    EXPECT_EQ(std::wstring(L"&About Halvo Setting..."), std::wstring(text, length));
}

// The manifest.

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR count) {
    EXPECT_TRUE(IS_INTRESOURCE(name));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CREATEPROCESS_MANIFEST_RESOURCE_ID),
              reinterpret_cast<ULONG_PTR>(name));
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Windows reads only manifest 1 of an exe; a second one (say, a default the linker adds) would
// leave it unclear which wins.
TEST_F(ProductResources, OneManifest) {
    int names = 0, languages = 0;
    EnumResourceNamesW(s_module, RT_MANIFEST, CountName, reinterpret_cast<LONG_PTR>(&names));
    EnumResourceLanguagesW(s_module, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, CountLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(1, names);
    EXPECT_EQ(1, languages);
}

TEST_F(ProductResources, ManifestAsksForCommonControls6) {
    std::span<const BYTE> bytes = Find(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    std::string manifest(bytes.begin(), bytes.end());
    size_t name = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
    ASSERT_NE(std::string::npos, name) << manifest;
    size_t begin = manifest.rfind("<assemblyIdentity", name);
    size_t end = manifest.find("/>", name);
    ASSERT_NE(std::string::npos, begin);
    ASSERT_NE(std::string::npos, end);
    std::string identity = manifest.substr(begin, end - begin);
    for (const char* attribute :
         {"type=\"win32\"", "version=\"6.0.0.0\"", "processorArchitecture=\"amd64\"",
          "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""}) {
        EXPECT_NE(std::string::npos, identity.find(attribute)) << attribute << " in " << identity;
    }
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
}

// The program's own identity, the manifest's first, states the version the version resource
// states.
TEST_F(ProductResources, ManifestStatesTheProgramsVersion) {
    std::span<const BYTE> bytes = Find(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    std::string manifest(bytes.begin(), bytes.end());
    size_t begin = manifest.find("<assemblyIdentity");
    size_t end = manifest.find("/>", begin);
    ASSERT_NE(std::string::npos, end) << manifest;
    std::string identity = manifest.substr(begin, end - begin);
    EXPECT_NE(std::string::npos, identity.find("version=\"1.0.0.1\"")) << identity;
    EXPECT_NE(std::string::npos, identity.find("processorArchitecture=\"amd64\"")) << identity;
}

// Windows' own reading of the manifest: it parses, and the dependency takes comctl32.dll to the
// version 6 assembly.
TEST_F(ProductResources, ManifestRedirectsCommonControls) {
    std::wstring path = ProductPath();
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxW(&request);
    ASSERT_NE(INVALID_HANDLE_VALUE, context) << "CreateActCtxW failed, error " << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(context, &cookie));
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    BOOL redirected = FindActCtxSectionStringW(
        0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data);
    DWORD error = GetLastError();
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(context);
    EXPECT_TRUE(redirected) << "error " << error;
}

// Version information, read as Explorer's property page reads it.

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || !value) {
        return L"(missing)";
    }
    return static_cast<const wchar_t*>(value);
}

TEST_F(ProductResources, VersionInformation) {
    std::span<const BYTE> bytes = Find(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    // VerQueryValueW may write into the block: never hand it the mapped resource.
    std::vector<BYTE> info(bytes.begin(), bytes.end());
    ASSERT_FALSE(info.empty());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof *fixed, length);
    EXPECT_EQ(Hex{VS_FFI_SIGNATURE}, Hex{fixed->dwSignature});
    EXPECT_EQ(Hex{0x00010000}, Hex{fixed->dwFileVersionMS});
    EXPECT_EQ(Hex{0x00000001}, Hex{fixed->dwFileVersionLS});
    EXPECT_EQ(Hex{0x00010000}, Hex{fixed->dwProductVersionMS});
    EXPECT_EQ(Hex{0x00000001}, Hex{fixed->dwProductVersionLS});
    EXPECT_EQ(Hex{0}, Hex{fixed->dwFileFlags & fixed->dwFileFlagsMask});
    EXPECT_EQ(Hex{VOS_NT_WINDOWS32}, Hex{fixed->dwFileOS});
    EXPECT_EQ(Hex{VFT_APP}, Hex{fixed->dwFileType});

    struct {
        const wchar_t* name;
        const wchar_t* value;
    } const strings[] = {
        {L"CompanyName", L"Halvo Setting developers"},
        {L"FileDescription", L"Halvo Setting"},
        {L"FileVersion", L"1.0.0.1"},
        {L"InternalName", L"HalvoSetting.exe"},
        {L"LegalCopyright", L"Copyright (C) 2026 Halvo Setting developers. All rights reserved."},
        {L"OriginalFilename", L"HalvoSetting.exe"},
        {L"ProductName", L"Halvo Setting"},
        {L"ProductVersion", L"1.0.0.1"},
    };
    for (const auto& expected : strings) {
        EXPECT_EQ(std::wstring(expected.value), VersionString(info, expected.name))
            << std::string(expected.name, expected.name + wcslen(expected.name));
    }

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(2 * sizeof(WORD), length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}

}  // namespace
