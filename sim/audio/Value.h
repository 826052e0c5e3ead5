#pragma once

#include <windows.h>
#include <propidl.h>

#include <string>
#include <vector>

namespace sim::audio {

// A property value as the simulated service keeps it: a PROPVARIANT's type and content in plain
// C++ storage, so that only the copies handed out through GetValue are CoTaskMem blocks.
// Holds the scalar types, VT_LPWSTR, VT_BSTR, VT_CLSID, VT_BLOB and vectors of scalars.
class Value {
public:
    Value() = default;

    static Value UInt32(ULONG value);
    static Value Int32(LONG value);
    static Value String(const std::wstring& text);
    // The text as a VT_BSTR, which GetValue hands out as a BSTR of its own.
    static Value Bstr(const std::wstring& text);
    static Value Blob(const std::vector<BYTE>& bytes);
    static Value Blob(const void* bytes, size_t size);
    // Any inline scalar type: the first bytes of the PROPVARIANT's payload.
    static Value Scalar(VARTYPE type, ULONGLONG payload);
    // A vector of fixed-size scalars (VT_VECTOR | type), elements packed in bytes.
    static Value Vector(VARTYPE elementType, const std::vector<BYTE>& elements);

    // Copies a caller's PROPVARIANT; DISP_E_BADVARTYPE for a type this service does not store.
    static HRESULT FromPropVariant(const PROPVARIANT& source, Value* out);

    // Fills a PROPVARIANT the way IPropertyStore::GetValue does: pointers are CoTaskMem blocks
    // that the receiver frees with PropVariantClear.
    HRESULT ToPropVariant(PROPVARIANT* out) const;

    VARTYPE Type() const { return m_type; }
    bool IsEmpty() const { return m_type == VT_EMPTY; }
    // The low 32 bits of a scalar payload.
    ULONG UInt32() const { return static_cast<ULONG>(m_payload); }
    const std::vector<BYTE>& Bytes() const { return m_bytes; }
    const std::wstring& Text() const { return m_text; }

    bool operator==(const Value& other) const;
    std::string Describe() const;

private:
    VARTYPE m_type = VT_EMPTY;
    ULONGLONG m_payload = 0;
    std::vector<BYTE> m_bytes;  // blob bytes, vector elements, or the 16 bytes of a CLSID
    std::wstring m_text;
};

// Size of one element of an inline scalar type; 0 for types that are not inline scalars.
size_t ScalarSize(VARTYPE type);

}  // namespace sim::audio
