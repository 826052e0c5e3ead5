// A Value from and to a PROPVARIANT: FromPropVariant, ToPropVariant and Fill.
#include "sim/audio/Value.h"

#include <oleauto.h>

#include <cstring>

#include "sim/audio/StoredObject.h"

namespace sim::audio {
namespace {

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

// The element size of a vector packed in bytes. PROPVARIANT has no vector of VT_INT or VT_UINT.
size_t PackedElementSize(VARTYPE element) {
    if (element == VT_CLSID) {
        return sizeof(GUID);
    }
    return element == VT_INT || element == VT_UINT ? 0 : ScalarSize(element);
}

// The vectors whose elements are blocks or values of their own.
bool IsElementVector(VARTYPE element) {
    return element == VT_LPSTR || element == VT_LPWSTR || element == VT_BSTR || element == VT_CF ||
           element == VT_VARIANT;
}

// The safe arrays kept: one dimension of a scalar type a PROPVARIANT may hold an array of (none of
// VT_I8, VT_UI8 or VT_FILETIME; PropVariantClear refuses those and keeps their blocks).
bool IsArrayElement(VARTYPE element) {
    return ScalarSize(element) != 0 && element != VT_I8 && element != VT_UI8 &&
           element != VT_FILETIME;
}

// A CoTaskMem copy of the bytes; null (and success) for none.
HRESULT CopyBlock(const void* bytes, size_t size, void** block) {
    *block = nullptr;
    if (size == 0) {
        return S_OK;
    }
    *block = CoTaskMemAlloc(size);
    if (!*block) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*block, bytes, size);
    return S_OK;
}

// A zeroed CoTaskMem array of count elements; null (and success) for none.
HRESULT ZeroedArray(size_t count, size_t size, void** block) {
    std::vector<BYTE> zeros(count * size, 0);
    return CopyBlock(zeros.data(), zeros.size(), block);
}

std::wstring TextOf(const wchar_t* text) {
    return text ? std::wstring(text) : std::wstring();
}

std::string AnsiOf(const char* text) {
    return text ? std::string(text) : std::string();
}

std::vector<BYTE> ClipBytes(const CLIPDATA& clip) {
    ULONG size = clip.cbSize > sizeof(clip.ulClipFmt) ? clip.cbSize - sizeof(clip.ulClipFmt) : 0;
    return BytesOf(clip.pClipData, size);
}

}  // namespace

HRESULT Value::FromPropVariant(const PROPVARIANT& source, Value* out) {
    VARTYPE element = source.vt & VT_TYPEMASK;
    Value v;
    v.m_type = source.vt;
    if (IsScalar(source.vt)) {
        std::memcpy(&v.m_payload, &source.uhVal, ScalarSize(source.vt));
    } else if (source.vt == VT_DECIMAL) {
        v = Decimal(source.decVal);
    } else if (source.vt == VT_LPWSTR) {
        v.m_text = TextOf(source.pwszVal);
    } else if (source.vt == VT_LPSTR) {
        v = AnsiString(AnsiOf(source.pszVal));
    } else if (source.vt == VT_BSTR) {
        if (source.bstrVal) {
            v.m_text.assign(source.bstrVal, SysStringLen(source.bstrVal));
        }
    } else if (source.vt == VT_BLOB || source.vt == VT_BLOB_OBJECT) {
        v.m_bytes = BytesOf(source.blob.pBlobData, source.blob.cbSize);
    } else if (source.vt == VT_CLSID) {
        if (!source.puuid) {
            return E_INVALIDARG;
        }
        v.m_bytes = BytesOf(source.puuid, sizeof(GUID));
    } else if (source.vt == VT_CF) {
        if (!source.pclipdata) {
            return E_INVALIDARG;
        }
        v = ClipData(source.pclipdata->ulClipFmt, ClipBytes(*source.pclipdata));
    } else if (IsInterfaceType(source.vt)) {
        // Kept as a kind of value: each hand-out is an object of its own.
    } else if ((source.vt & VT_VECTOR) && PackedElementSize(element) != 0) {
        v.m_bytes = BytesOf(source.caub.pElems, PackedElementSize(element) * source.caub.cElems);
    } else if ((source.vt & VT_VECTOR) && IsElementVector(element)) {
        for (ULONG i = 0; i < source.caub.cElems; ++i) {
            Value item;
            switch (element) {
                case VT_LPSTR: item = AnsiString(AnsiOf(source.calpstr.pElems[i])); break;
                case VT_LPWSTR: item = String(TextOf(source.calpwstr.pElems[i])); break;
                case VT_BSTR: {
                    BSTR text = source.cabstr.pElems[i];
                    item = Bstr(text ? std::wstring(text, SysStringLen(text)) : L"");
                    break;
                }
                case VT_CF:
                    item = ClipData(source.caclipdata.pElems[i].ulClipFmt,
                                    ClipBytes(source.caclipdata.pElems[i]));
                    break;
                default: {
                    HRESULT hr = FromPropVariant(source.capropvar.pElems[i], &item);
                    if (FAILED(hr)) {
                        return hr;
                    }
                }
            }
            v.m_elements.push_back(std::move(item));
        }
    } else if ((source.vt & VT_ARRAY) && IsArrayElement(element) && source.parray &&
               SafeArrayGetDim(source.parray) == 1) {
        LONG low = 0, high = -1;
        SafeArrayGetLBound(source.parray, 1, &low);
        SafeArrayGetUBound(source.parray, 1, &high);
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(source.parray, &data))) {
            v.m_bytes = BytesOf(data, ScalarSize(element) * static_cast<size_t>(high - low + 1));
            SafeArrayUnaccessData(source.parray);
        }
    } else {
        return DISP_E_BADVARTYPE;
    }
    *out = std::move(v);
    return S_OK;
}

HRESULT Value::ToPropVariant(PROPVARIANT* out) const {
    PropVariantInit(out);
    HRESULT hr = Fill(out);
    if (FAILED(hr)) {
        // Whatever was handed over so far goes back.
        PropVariantClear(out);
        PropVariantInit(out);
    }
    return hr;
}

// Sets the type first and every block as it is made, so that PropVariantClear undoes a part.
HRESULT Value::Fill(PROPVARIANT* out) const {
    VARTYPE element = m_type & VT_TYPEMASK;
    if (IsScalar(m_type)) {
        out->vt = m_type;
        std::memcpy(&out->uhVal, &m_payload, ScalarSize(m_type));
        return S_OK;
    }
    switch (m_type) {
        case VT_DECIMAL:
            std::memcpy(&out->decVal, m_bytes.data(), sizeof out->decVal);
            out->vt = VT_DECIMAL;
            return S_OK;
        case VT_LPWSTR:
            out->vt = m_type;
            return CopyBlock(m_text.c_str(), (m_text.size() + 1) * sizeof(wchar_t),
                             reinterpret_cast<void**>(&out->pwszVal));
        case VT_LPSTR: {
            out->vt = m_type;
            std::string text(m_bytes.begin(), m_bytes.end());
            return CopyBlock(text.c_str(), text.size() + 1, reinterpret_cast<void**>(&out->pszVal));
        }
        case VT_BSTR:
            TurnOffBstrCache();
            out->vt = m_type;
            out->bstrVal = SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
            return out->bstrVal ? S_OK : E_OUTOFMEMORY;
        case VT_CLSID:
            out->vt = m_type;
            return CopyBlock(m_bytes.data(), sizeof(GUID), reinterpret_cast<void**>(&out->puuid));
        case VT_BLOB:
        case VT_BLOB_OBJECT:
            out->vt = m_type;
            out->blob.cbSize = static_cast<ULONG>(m_bytes.size());
            return CopyBlock(m_bytes.data(), m_bytes.size(),
                             reinterpret_cast<void**>(&out->blob.pBlobData));
        case VT_CF: {
            out->vt = m_type;
            HRESULT hr =
                ZeroedArray(1, sizeof(CLIPDATA), reinterpret_cast<void**>(&out->pclipdata));
            if (FAILED(hr)) {
                return hr;
            }
            out->pclipdata->cbSize = static_cast<ULONG>(sizeof(ULONG) + m_bytes.size());
            out->pclipdata->ulClipFmt = static_cast<ULONG>(m_payload);
            return CopyBlock(m_bytes.data(), m_bytes.size(),
                             reinterpret_cast<void**>(&out->pclipdata->pClipData));
        }
        case VT_UNKNOWN:
        case VT_STREAM:
        case VT_STREAMED_OBJECT:
            out->vt = m_type;
            out->pStream = NewStoredObject();  // IUnknown and IStream share the object's address
            return S_OK;
        case VT_DISPATCH: {
            out->vt = m_type;
            out->pdispVal = NewStoredDispatch();
            return S_OK;
        }
        default: break;
    }
    if ((m_type & VT_VECTOR) && PackedElementSize(element) != 0) {
        out->vt = m_type;
        out->caub.cElems = static_cast<ULONG>(m_bytes.size() / PackedElementSize(element));
        return CopyBlock(m_bytes.data(), out->caub.cElems * PackedElementSize(element),
                         reinterpret_cast<void**>(&out->caub.pElems));
    }
    if ((m_type & VT_VECTOR) && IsElementVector(element)) {
        size_t size = element == VT_CF        ? sizeof(CLIPDATA)
                      : element == VT_VARIANT ? sizeof(PROPVARIANT)
                                              : sizeof(void*);
        out->vt = m_type;
        HRESULT hr =
            ZeroedArray(m_elements.size(), size, reinterpret_cast<void**>(&out->caub.pElems));
        if (FAILED(hr)) {
            return hr;
        }
        out->caub.cElems = static_cast<ULONG>(m_elements.size());
        for (size_t i = 0; i < m_elements.size(); ++i) {
            // Each element as the value of its own type would hand it out, moved into place.
            PROPVARIANT item;
            hr = element == VT_VARIANT || m_elements[i].Type() == element
                     ? m_elements[i].ToPropVariant(&item)
                     : DISP_E_BADVARTYPE;
            if (FAILED(hr)) {
                return hr;
            }
            switch (element) {
                case VT_LPSTR: out->calpstr.pElems[i] = item.pszVal; break;
                case VT_LPWSTR: out->calpwstr.pElems[i] = item.pwszVal; break;
                case VT_BSTR: out->cabstr.pElems[i] = item.bstrVal; break;
                case VT_CF:
                    out->caclipdata.pElems[i] = *item.pclipdata;
                    CoTaskMemFree(item.pclipdata);
                    break;
                default: out->capropvar.pElems[i] = item; break;
            }
        }
        return S_OK;
    }
    if ((m_type & VT_ARRAY) && IsArrayElement(element)) {
        ULONG count = static_cast<ULONG>(m_bytes.size() / ScalarSize(element));
        out->parray = SafeArrayCreateVector(element, 0, count);
        if (!out->parray) {
            return E_OUTOFMEMORY;
        }
        out->vt = m_type;
        void* data = nullptr;
        HRESULT hr = SafeArrayAccessData(out->parray, &data);
        if (FAILED(hr)) {
            return hr;
        }
        if (!m_bytes.empty()) {
            std::memcpy(data, m_bytes.data(), count * ScalarSize(element));
        }
        return SafeArrayUnaccessData(out->parray);
    }
    return DISP_E_BADVARTYPE;
}

}  // namespace sim::audio
