#include "tests/support/DialogTemplate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwctype>

namespace {

// Reads the template's little-endian fields in order; past the end it fails once and from then
// on answers zeros.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    bool Failed() const { return m_failed; }

    template <typename T>
    T Read() {
        T value{};
        if (Take(sizeof value)) {
            std::memcpy(&value, m_data + m_offset - sizeof value, sizeof value);
        }
        return value;
    }

    std::wstring ReadString() {
        std::wstring text;
        for (WCHAR c = Read<WCHAR>(); c != 0 && !m_failed; c = Read<WCHAR>()) {
            text.push_back(c);
        }
        return text;
    }

    // sz_Or_Ord: 0x0000 for nothing, 0xFFFF and an ordinal, or a string.
    TemplateName ReadName() {
        WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            return TemplateName::Ordinal(Read<WORD>());
        }
        if (first == 0) {
            return {};
        }
        std::wstring text(1, static_cast<wchar_t>(first));
        return TemplateName((text + ReadString()).c_str());
    }

    void Skip(size_t count) { Take(count); }

    // Items start on a DWORD boundary of the template.
    void AlignToDword() { Take(-m_offset & 3); }

private:
    bool Take(size_t count) {
        if (m_failed || count > m_size - m_offset) {
            if (!m_failed) {
                ADD_FAILURE() << "dialog template ends early: " << count
                              << " bytes wanted at offset " << m_offset << " of " << m_size;
            }
            m_failed = true;
            return false;
        }
        m_offset += count;
        return true;
    }

    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_failed = false;
};

bool SameClass(const TemplateName& a, const TemplateName& b) {
    if (a.ordinal != b.ordinal || a.text.size() != b.text.size()) {
        return false;
    }
    for (size_t i = 0; i < a.text.size(); ++i) {
        if (std::towlower(a.text[i]) != std::towlower(b.text[i])) {
            return false;
        }
    }
    return true;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return narrow;
}

}  // namespace

TemplateName TemplateName::Ordinal(WORD value) {
    TemplateName name;
    name.ordinal = value;
    return name;
}

bool DialogItem::operator==(const DialogItem& other) const {
    return id == other.id && SameClass(windowClass, other.windowClass) && text == other.text &&
           style == other.style && exStyle == other.exStyle && x == other.x && y == other.y &&
           cx == other.cx && cy == other.cy && helpId == other.helpId &&
           creationDataSize == other.creationDataSize;
}

std::optional<DialogTemplateEx> ParseDialogTemplateEx(const BYTE* data, size_t size) {
    TemplateReader in(data, size);
    WORD version = in.Read<WORD>();
    WORD signature = in.Read<WORD>();
    if (version != 1 || signature != 0xFFFF) {
        ADD_FAILURE() << "not a DLGTEMPLATEEX: version " << version << ", signature 0x" << std::hex
                      << signature;
        return std::nullopt;
    }
    DialogTemplateEx dialog{};
    dialog.helpId = in.Read<DWORD>();
    dialog.exStyle = in.Read<DWORD>();
    dialog.style = in.Read<DWORD>();
    WORD count = in.Read<WORD>();
    dialog.x = in.Read<short>();
    dialog.y = in.Read<short>();
    dialog.cx = in.Read<short>();
    dialog.cy = in.Read<short>();
    dialog.menu = in.ReadName();
    dialog.windowClass = in.ReadName();
    dialog.title = in.ReadString();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.Read<WORD>();
        dialog.weight = in.Read<WORD>();
        dialog.italic = in.Read<BYTE>();
        dialog.charset = in.Read<BYTE>();
        dialog.typeface = in.ReadString();
    }
    for (WORD i = 0; i < count && !in.Failed(); ++i) {
        in.AlignToDword();
        DialogItem item{};
        item.helpId = in.Read<DWORD>();
        item.exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = in.Read<int>();
        item.windowClass = in.ReadName();
        item.text = in.ReadName();
        item.creationDataSize = in.Read<WORD>();
        in.Skip(item.creationDataSize);
        dialog.items.push_back(item);
    }
    if (in.Failed()) {
        return std::nullopt;
    }
    return dialog;
}

std::ostream& operator<<(std::ostream& out, const TemplateName& name) {
    if (name.ordinal != 0) {
        return out << "#" << name.ordinal;
    }
    return out << '"' << Narrow(name.text) << '"';
}

std::ostream& operator<<(std::ostream& out, const DialogItem& item) {
    char style[32];
    std::snprintf(style, sizeof style, "0x%08lX 0x%08lX", static_cast<unsigned long>(item.style),
                  static_cast<unsigned long>(item.exStyle));
    out << "{" << item.id << ", class " << item.windowClass << ", text " << item.text << ", "
        << style << ", " << item.x << " " << item.y << " " << item.cx << " " << item.cy;
    if (item.helpId != 0 || item.creationDataSize != 0) {
        out << ", help id " << item.helpId << ", " << item.creationDataSize << " bytes of data";
    }
    return out << "}";
}
