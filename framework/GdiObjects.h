#pragma once

#include <windows.h>

// A GDI object the wrapper owns and deletes.
class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    ~CGdiObject() { DeleteObject(); }

    HGDIOBJ m_hObject = nullptr;

    BOOL DeleteObject() {
        if (!m_hObject) {
            return FALSE;
        }
        BOOL deleted = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return deleted;
    }

protected:
    BOOL Attach(HGDIOBJ hObject) {
        DeleteObject();
        m_hObject = hObject;
        return hObject != nullptr;
    }
};

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONTW* lpLogFont) {
        return Attach(::CreateFontIndirectW(lpLogFont));
    }
    HFONT GetSafeHandle() const { return static_cast<HFONT>(m_hObject); }
    operator HFONT() const { return GetSafeHandle(); }
};

class CBitmap : public CGdiObject {
public:
    // From the application's resources.
    BOOL LoadBitmap(UINT nIDResource);
    HBITMAP GetSafeHandle() const { return static_cast<HBITMAP>(m_hObject); }
    operator HBITMAP() const { return GetSafeHandle(); }
};
