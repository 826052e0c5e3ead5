#include "sim/audio/Value.h"

#include <cstdio>

namespace sim::audio {

size_t ScalarSize(VARTYPE type) {
    switch (type) {
        case VT_EMPTY:
        case VT_NULL: return 0;
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_FILETIME: return 8;
        default: return 0;
    }
}

bool IsScalar(VARTYPE type) {
    return type == VT_EMPTY || type == VT_NULL || ScalarSize(type) != 0;
}

bool IsInterfaceType(VARTYPE type) {
    return type == VT_UNKNOWN || type == VT_DISPATCH || type == VT_STREAM ||
           type == VT_STREAMED_OBJECT;
}

std::vector<BYTE> BytesOf(const void* bytes, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(bytes);
    return p ? std::vector<BYTE>(p, p + size) : std::vector<BYTE>();
}

Value Value::UInt32(ULONG value) {
    return Scalar(VT_UI4, value);
}

Value Value::Int32(LONG value) {
    return Scalar(VT_I4, static_cast<ULONG>(value));
}

Value Value::String(const std::wstring& text) {
    Value v;
    v.m_type = VT_LPWSTR;
    v.m_text = text;
    return v;
}

Value Value::AnsiString(const std::string& text) {
    Value v;
    v.m_type = VT_LPSTR;
    v.m_bytes.assign(text.begin(), text.end());
    return v;
}

Value Value::Bstr(const std::wstring& text) {
    Value v;
    v.m_type = VT_BSTR;
    v.m_text = text;
    return v;
}

Value Value::Clsid(const GUID& id) {
    Value v;
    v.m_type = VT_CLSID;
    v.m_bytes = BytesOf(&id, sizeof id);
    return v;
}

Value Value::Blob(const std::vector<BYTE>& bytes) {
    Value v;
    v.m_type = VT_BLOB;
    v.m_bytes = bytes;
    return v;
}

Value Value::Blob(const void* bytes, size_t size) {
    return Blob(BytesOf(bytes, size));
}

Value Value::BlobObject(const std::vector<BYTE>& bytes) {
    Value v = Blob(bytes);
    v.m_type = VT_BLOB_OBJECT;
    return v;
}

Value Value::ClipData(ULONG format, const std::vector<BYTE>& data) {
    Value v;
    v.m_type = VT_CF;
    v.m_payload = format;
    v.m_bytes = data;
    return v;
}

Value Value::Decimal(const DECIMAL& number) {
    Value v;
    v.m_type = VT_DECIMAL;
    v.m_bytes = BytesOf(&number, sizeof number);
    v.m_bytes[0] = v.m_bytes[1] = 0;  // where the PROPVARIANT keeps its type
    return v;
}

Value Value::Object(VARTYPE type) {
    Value v;
    v.m_type = IsInterfaceType(type) ? type : static_cast<VARTYPE>(VT_UNKNOWN);
    return v;
}

Value Value::Scalar(VARTYPE type, ULONGLONG payload) {
    Value v;
    v.m_type = type;
    size_t size = ScalarSize(type);
    v.m_payload = size >= 8 ? payload : payload & ((1ULL << (8 * size)) - 1);
    return v;
}

Value Value::Vector(VARTYPE elementType, const std::vector<BYTE>& elements) {
    Value v;
    v.m_type = static_cast<VARTYPE>(VT_VECTOR | elementType);
    v.m_bytes = elements;
    return v;
}

Value Value::VectorOf(VARTYPE elementType, std::vector<Value> elements) {
    Value v;
    v.m_type = static_cast<VARTYPE>(VT_VECTOR | elementType);
    v.m_elements = std::move(elements);
    return v;
}

Value Value::SafeArray(VARTYPE elementType, const std::vector<BYTE>& elements) {
    Value v;
    v.m_type = static_cast<VARTYPE>(VT_ARRAY | elementType);
    v.m_bytes = elements;
    return v;
}
bool Value::operator==(const Value& other) const {
    return m_type == other.m_type && m_payload == other.m_payload && m_bytes == other.m_bytes &&
           m_text == other.m_text && m_elements == other.m_elements;
}

std::string Value::Describe() const {
    char text[64];
    if (m_type == VT_UI4) {
        std::snprintf(text, sizeof text, "VT_UI4 0x%08lX", UInt32());
        return text;
    }
    if (IsScalar(m_type)) {
        std::snprintf(text, sizeof text, "vt %u 0x%llX", m_type, m_payload);
        return text;
    }
    if (m_type == VT_LPWSTR || m_type == VT_BSTR) {
        return std::string(m_type == VT_LPWSTR ? "VT_LPWSTR" : "VT_BSTR") + " \"" +
               std::string(m_text.begin(), m_text.end()) + "\"";
    }
    if (m_type == VT_LPSTR) {
        return "VT_LPSTR \"" + std::string(m_bytes.begin(), m_bytes.end()) + "\"";
    }
    if (!m_elements.empty()) {
        std::snprintf(text, sizeof text, "vt 0x%X, %zu elements", m_type, m_elements.size());
        return text;
    }
    std::snprintf(text, sizeof text, "vt 0x%X, %zu bytes", m_type, m_bytes.size());
    return text;
}

}  // namespace sim::audio
