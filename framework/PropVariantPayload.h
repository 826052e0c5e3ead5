#pragma once

#include <windows.h>
#include <propidl.h>

// Whether a property value's type is an integer of any width.
inline bool IsIntegerPropVariantType(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8: return true;
        default: return false;
    }
}

// The 32-bit payload of a property value whatever its type, as the effect words and the form
// factor are read: the first four bytes of the value (ulVal). A value whose payload is a pointer
// (a string, a CLSID, an interface, a by-reference or SAFEARRAY value) carries no such number,
// only address bits: false then, so that no word is ever made of an address.
inline bool GetPropVariantPayload32(const PROPVARIANT& value, ULONG* payload) {
    bool inlinePayload = false;
    // A vector's element count comes first.
    bool vector = (value.vt & VT_VECTOR) && !(value.vt & (VT_ARRAY | VT_BYREF));
    if (vector || IsIntegerPropVariantType(value.vt)) {
        inlinePayload = true;
    } else {
        switch (value.vt) {
            case VT_EMPTY:
            case VT_NULL:
            case VT_R4:
            case VT_R8:
            case VT_CY:
            case VT_DATE:
            case VT_BOOL:
            case VT_ERROR:
            case VT_FILETIME:
            case VT_DECIMAL:      // the lowest 32 bits of its number
            case VT_BLOB:         // the byte count comes first
            case VT_BLOB_OBJECT:  // likewise
                inlinePayload = true;
                break;
            default: break;
        }
    }
    *payload = inlinePayload ? value.ulVal : 0;
    return inlinePayload;
}
