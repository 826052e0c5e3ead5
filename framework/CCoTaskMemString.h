#pragma once

#include <objbase.h>

// Owns a string allocated with CoTaskMemAlloc (an endpoint id from IMMDevice::GetId, say) and
// frees it with CoTaskMemFree.
class CCoTaskMemString {
public:
    CCoTaskMemString() = default;
    CCoTaskMemString(const CCoTaskMemString&) = delete;
    CCoTaskMemString& operator=(const CCoTaskMemString&) = delete;
    ~CCoTaskMemString() { Free(); }

    LPCWSTR Get() const { return m_psz; }

    // For out-parameters: frees the string held so far, then lends the slot.
    LPWSTR* operator&() {
        Free();
        return &m_psz;
    }

    void Free() {
        CoTaskMemFree(m_psz);
        m_psz = nullptr;
    }

private:
    LPWSTR m_psz = nullptr;
};
