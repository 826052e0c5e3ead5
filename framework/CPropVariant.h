#pragma once

#include <objbase.h>
#include <propidl.h>

// A PROPVARIANT that starts zeroed and is cleared with PropVariantClear when it goes out of scope.
class CPropVariant {
public:
    CPropVariant() { PropVariantInit(&m_value); }
    CPropVariant(const CPropVariant&) = delete;
    CPropVariant& operator=(const CPropVariant&) = delete;
    ~CPropVariant() { Clear(); }

    PROPVARIANT* Get() { return &m_value; }
    const PROPVARIANT* Get() const { return &m_value; }
    const PROPVARIANT* operator->() const { return &m_value; }

    // For out-parameters (IPropertyStore::GetValue): clears the value held so far first.
    PROPVARIANT* operator&() {
        Clear();
        return &m_value;
    }

    void Clear() { PropVariantClear(&m_value); }

    // Holds a VT_UI4 value from now on.
    void SetUInt32(ULONG word) {
        Clear();
        m_value.vt = VT_UI4;
        m_value.ulVal = word;
    }

private:
    PROPVARIANT m_value;
};
