#pragma once

#include <windows.h>
#include <propidl.h>

#include <string>
#include <vector>

namespace sim::audio {

// A property value as the simulated service keeps it: a PROPVARIANT's type and content in plain
// C++ storage, so that only the copies handed out through GetValue are blocks of their own.
// Holds the types a property store may hand out and PropVariantClear knows how to release: the
// inline scalars and VT_DECIMAL; VT_LPWSTR, VT_LPSTR, VT_BSTR, VT_CLSID, VT_BLOB,
// VT_BLOB_OBJECT and VT_CF; the interfaces VT_UNKNOWN, VT_DISPATCH, VT_STREAM and
// VT_STREAMED_OBJECT; one-dimensional SAFEARRAYs of scalars; vectors of scalars and of VT_CLSID,
// VT_LPSTR, VT_LPWSTR, VT_BSTR, VT_CF and VT_VARIANT. Not held: storages and versioned streams.
class Value {
public:
    Value() = default;

    static Value UInt32(ULONG value);
    static Value Int32(LONG value);
    static Value String(const std::wstring& text);     // VT_LPWSTR
    static Value AnsiString(const std::string& text);  // VT_LPSTR
    // VT_BSTR; the text may hold 0 units, a BSTR carries its length.
    static Value Bstr(const std::wstring& text);
    static Value Clsid(const GUID& id);
    static Value Blob(const std::vector<BYTE>& bytes);
    static Value Blob(const void* bytes, size_t size);
    static Value BlobObject(const std::vector<BYTE>& bytes);             // VT_BLOB_OBJECT
    static Value ClipData(ULONG format, const std::vector<BYTE>& data);  // VT_CF
    static Value Decimal(const DECIMAL& number);
    // An interface (VT_UNKNOWN, VT_DISPATCH, VT_STREAM or VT_STREAMED_OBJECT): every hand-out is
    // a fresh object of its own, counted while alive (ObjectKind::StoredObject), so that a reader
    // that never releases it shows.
    static Value Object(VARTYPE type = VT_UNKNOWN);
    // Any inline scalar type: the first bytes of the PROPVARIANT's payload.
    static Value Scalar(VARTYPE type, ULONGLONG payload);
    // A vector of fixed-size elements (VT_VECTOR | type: a scalar or VT_CLSID), packed in bytes.
    static Value Vector(VARTYPE elementType, const std::vector<BYTE>& elements);
    // A vector whose elements are blocks or values of their own (VT_VECTOR | VT_LPSTR, VT_LPWSTR,
    // VT_BSTR, VT_CF or VT_VARIANT); each element is a Value of that type, of any type for
    // VT_VARIANT.
    static Value VectorOf(VARTYPE elementType, std::vector<Value> elements);
    // A one-dimensional SAFEARRAY of a scalar type (VT_ARRAY | type), elements packed in bytes.
    static Value SafeArray(VARTYPE elementType, const std::vector<BYTE>& elements);

    // Copies a caller's PROPVARIANT; DISP_E_BADVARTYPE for a type this service does not store.
    static HRESULT FromPropVariant(const PROPVARIANT& source, Value* out);

    // Fills a PROPVARIANT the way IPropertyStore::GetValue does: every block is the receiver's,
    // freed with PropVariantClear. On failure the PROPVARIANT is left empty and nothing is kept.
    HRESULT ToPropVariant(PROPVARIANT* out) const;

    VARTYPE Type() const { return m_type; }
    bool IsEmpty() const { return m_type == VT_EMPTY; }
    // The low 32 bits of a scalar payload.
    ULONG UInt32() const { return static_cast<ULONG>(m_payload); }
    const std::vector<BYTE>& Bytes() const { return m_bytes; }
    const std::wstring& Text() const { return m_text; }
    const std::vector<Value>& Elements() const { return m_elements; }

    bool operator==(const Value& other) const;
    std::string Describe() const;

private:
    HRESULT Fill(PROPVARIANT* out) const;

    VARTYPE m_type = VT_EMPTY;
    ULONGLONG m_payload = 0;  // an inline scalar; the clipboard format of VT_CF
    // Blob bytes, packed vector and array elements, the 16 bytes of a CLSID or a DECIMAL, the
    // characters of VT_LPSTR, the data of VT_CF.
    std::vector<BYTE> m_bytes;
    std::wstring m_text;  // VT_LPWSTR, VT_BSTR
    std::vector<Value> m_elements;
};

// Size of one element of an inline scalar type; 0 for types that are not inline scalars.
size_t ScalarSize(VARTYPE type);
// VT_EMPTY, VT_NULL or an inline scalar.
bool IsScalar(VARTYPE type);
// VT_UNKNOWN, VT_DISPATCH, VT_STREAM or VT_STREAMED_OBJECT.
bool IsInterfaceType(VARTYPE type);
// A copy of size bytes; none for a null pointer.
std::vector<BYTE> BytesOf(const void* bytes, size_t size);

}  // namespace sim::audio
