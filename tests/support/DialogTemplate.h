#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// A class, menu or text field of a dialog template: an ordinal (a class atom, a resource id) or
// a string.
struct TemplateName {
    WORD ordinal = 0;  // 0: a string (or nothing)
    std::wstring text;

    TemplateName() = default;
    TemplateName(const wchar_t* s) : text(s) {}  // NOLINT: tables read better without a wrapper
    static TemplateName Ordinal(WORD value);
    bool operator==(const TemplateName&) const = default;
};

struct DialogItem {
    int id;
    TemplateName windowClass;
    TemplateName text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    DWORD helpId = 0;
    WORD creationDataSize = 0;
    // Class names compare without case, as the window manager looks them up.
    bool operator==(const DialogItem& other) const;
};

struct DialogTemplateEx {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::wstring title;
    WORD pointSize;
    WORD weight;
    BYTE italic;
    BYTE charset;
    std::wstring typeface;
    TemplateName menu;
    TemplateName windowClass;
    DWORD helpId = 0;
    std::vector<DialogItem> items;
};

// Reads a DLGTEMPLATEEX and its DLGITEMTEMPLATEEX entries in template order. Reports a failure
// and answers nothing when the bytes are no such template or end early.
std::optional<DialogTemplateEx> ParseDialogTemplateEx(const BYTE* data, size_t size);

std::ostream& operator<<(std::ostream& out, const TemplateName& name);
std::ostream& operator<<(std::ostream& out, const DialogItem& item);
