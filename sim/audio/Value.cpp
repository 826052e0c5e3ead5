#include "sim/audio/Value.h"

#include <cstdio>
#include <cstring>

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

namespace {

bool IsScalar(VARTYPE type) {
    return type == VT_EMPTY || type == VT_NULL || ScalarSize(type) != 0;
}

// A freed BSTR would wait in the platform's cache instead of going back with CoTaskMemFree, and
// a receiver that freed it could not be told from one that did not: the cache is turned off
// before the first BSTR is handed out.
void TurnOffBstrCache() {
    static const bool turnedOff = [] {
        using SetOaNoCacheFunction = void(WINAPI*)();
        HMODULE automation = GetModuleHandleW(L"oleaut32.dll");
        auto setNoCache =
            automation ? reinterpret_cast<SetOaNoCacheFunction>(
                             reinterpret_cast<void*>(GetProcAddress(automation, "SetOaNoCache")))
                       : nullptr;
        if (setNoCache) {
            setNoCache();
        }
        return setNoCache != nullptr;
    }();
    (void)turnedOff;
}

}  // namespace

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

Value Value::Bstr(const std::wstring& text) {
    Value v;
    v.m_type = VT_BSTR;
    v.m_text = text;
    return v;
}

Value Value::Blob(const std::vector<BYTE>& bytes) {
    Value v;
    v.m_type = VT_BLOB;
    v.m_bytes = bytes;
    return v;
}

Value Value::Blob(const void* bytes, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(bytes);
    return Blob(std::vector<BYTE>(p, p + size));
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

HRESULT Value::FromPropVariant(const PROPVARIANT& source, Value* out) {
    Value v;
    v.m_type = source.vt;
    if (IsScalar(source.vt)) {
        std::memcpy(&v.m_payload, &source.uhVal, ScalarSize(source.vt));
    } else if (source.vt == VT_LPWSTR) {
        if (source.pwszVal) {
            v.m_text = source.pwszVal;
        }
    } else if (source.vt == VT_BLOB) {
        if (source.blob.pBlobData) {
            v.m_bytes.assign(source.blob.pBlobData, source.blob.pBlobData + source.blob.cbSize);
        }
    } else if (source.vt == VT_CLSID) {
        if (!source.puuid) {
            return E_INVALIDARG;
        }
        v.m_bytes.assign(reinterpret_cast<const BYTE*>(source.puuid),
                         reinterpret_cast<const BYTE*>(source.puuid) + sizeof(GUID));
    } else if ((source.vt & VT_VECTOR) && ScalarSize(source.vt & VT_TYPEMASK) != 0) {
        size_t size = ScalarSize(source.vt & VT_TYPEMASK) * source.caub.cElems;
        if (size && source.caub.pElems) {
            v.m_bytes.assign(source.caub.pElems, source.caub.pElems + size);
        }
    } else {
        return DISP_E_BADVARTYPE;
    }
    *out = std::move(v);
    return S_OK;
}

HRESULT Value::ToPropVariant(PROPVARIANT* out) const {
    PropVariantInit(out);
    if (IsScalar(m_type)) {
        out->vt = m_type;
        std::memcpy(&out->uhVal, &m_payload, ScalarSize(m_type));
        return S_OK;
    }
    if (m_type == VT_BSTR) {
        TurnOffBstrCache();
        out->bstrVal = SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
        if (!out->bstrVal) {
            return E_OUTOFMEMORY;
        }
        out->vt = VT_BSTR;
        return S_OK;
    }
    bool vector = (m_type & VT_VECTOR) && ScalarSize(m_type & VT_TYPEMASK) != 0;
    if (m_type != VT_LPWSTR && m_type != VT_BLOB && m_type != VT_CLSID && !vector) {
        return DISP_E_BADVARTYPE;
    }
    void* block = nullptr;
    size_t size = m_type == VT_LPWSTR ? (m_text.size() + 1) * sizeof(wchar_t) : m_bytes.size();
    if (size) {
        block = CoTaskMemAlloc(size);
        if (!block) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(block,
                    m_type == VT_LPWSTR ? static_cast<const void*>(m_text.c_str())
                                        : static_cast<const void*>(m_bytes.data()),
                    size);
    }
    out->vt = m_type;
    if (m_type == VT_LPWSTR) {
        out->pwszVal = static_cast<LPWSTR>(block);
    } else if (m_type == VT_BLOB) {
        out->blob.cbSize = static_cast<ULONG>(size);
        out->blob.pBlobData = static_cast<BYTE*>(block);
    } else if (m_type == VT_CLSID) {
        out->puuid = static_cast<CLSID*>(block);
    } else {
        out->caub.cElems = static_cast<ULONG>(size / ScalarSize(m_type & VT_TYPEMASK));
        out->caub.pElems = static_cast<UCHAR*>(block);
    }
    return S_OK;
}

bool Value::operator==(const Value& other) const {
    return m_type == other.m_type && m_payload == other.m_payload && m_bytes == other.m_bytes &&
           m_text == other.m_text;
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
    std::snprintf(text, sizeof text, "vt 0x%X, %zu bytes", m_type, m_bytes.size());
    return text;
}

}  // namespace sim::audio
