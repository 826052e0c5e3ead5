#include "bench/badinput/PropertyInputs.h"

#include <cstring>
#include <string>

namespace badinput {
namespace {

using sim::audio::Value;

// The types the service stores inline, with their sizes.
struct ScalarType {
    VARTYPE type;
    size_t size;
};
const std::vector<ScalarType> kScalars = {{VT_EMPTY, 0}, {VT_NULL, 0}, {VT_I1, 1},      {VT_UI1, 1},
                                          {VT_I2, 2},    {VT_UI2, 2},  {VT_BOOL, 2},    {VT_I4, 4},
                                          {VT_UI4, 4},   {VT_INT, 4},  {VT_UINT, 4},    {VT_R4, 4},
                                          {VT_ERROR, 4}, {VT_I8, 8},   {VT_UI8, 8},     {VT_R8, 8},
                                          {VT_CY, 8},    {VT_DATE, 8}, {VT_FILETIME, 8}};

// A scalar type with a size that a PROPVARIANT holds vectors of (none of VT_INT or VT_UINT), or
// with `forArrays` safe arrays of (none of VT_I8, VT_UI8 or VT_FILETIME).
const ScalarType& PickElement(Random& random, bool forArrays) {
    for (;;) {
        const ScalarType& element = random.Pick(kScalars);
        VARTYPE type = element.type;
        bool fits =
            element.size != 0 && (forArrays ? type != VT_I8 && type != VT_UI8 && type != VT_FILETIME
                                            : type != VT_INT && type != VT_UINT);
        if (fits) {
            return element;
        }
    }
}

size_t AnyLength(Random& random) {
    return random.OneIn(4) ? random.Between(0, 3) : random.Between(0, 600);
}

std::wstring AnyWideText(Random& random, bool zeros) {
    std::wstring text(AnyLength(random), L'\0');
    for (wchar_t& unit : text) {
        unit = static_cast<wchar_t>(random.Between(zeros ? 0 : 1, 0xFFFF));
    }
    return text;
}

std::string AnyAnsiText(Random& random) {
    std::string text(AnyLength(random), '\0');
    for (char& c : text) {
        c = static_cast<char>(random.Between(1, 0xFF));
    }
    return text;
}

GUID AnyGuid(Random& random) {
    GUID id;
    std::vector<BYTE> bytes = random.Bytes(sizeof id);
    std::memcpy(&id, bytes.data(), sizeof id);
    return id;
}

// One element of a vector whose elements are values of their own.
Value AnyElement(Random& random, VARTYPE element) {
    switch (element) {
        case VT_LPSTR: return Value::AnsiString(AnyAnsiText(random));
        case VT_LPWSTR: return Value::String(AnyWideText(random, false));
        case VT_BSTR: return Value::Bstr(AnyWideText(random, true));
        case VT_CF: return Value::ClipData(random.Word(), random.Bytes(random.Between(0, 64)));
        default:
            switch (random.Between(0, 3)) {
                case 0: return Value::String(AnyWideText(random, false));
                case 1: return Value::Blob(random.Bytes(random.Between(0, 64)));
                case 2: return Value::Bstr(AnyWideText(random, true));
                default: return Value::Scalar(VT_UI4, random.Word());
            }
    }
}

// The first four bytes of the payload of a value handed out as a PROPVARIANT, for a type that
// carries a number there.
void SetScalar(PropertyInput& input, const ScalarType& scalar, ULONGLONG payload) {
    input.value = Value::Scalar(scalar.type, payload);
    ULONGLONG kept = scalar.size >= 8 ? payload : payload & ((1ULL << (8 * scalar.size)) - 1);
    input.number = static_cast<ULONG>(kept);
}

}  // namespace

PropertyInput MakePropertyInput(Random& random, bool formatKey) {
    PropertyInput input;
    input.present = !random.OneIn(12);
    if (!input.present) {
        return input;
    }
    switch (random.Between(0, 13)) {
        case 0:
        case 1:
        case 2: {
            ULONGLONG payload = static_cast<ULONGLONG>(random.Word()) << 32 | random.Word();
            if (random.OneIn(2)) {
                payload = random.Between(0, 12);  // the listed form factors and selector values
            }
            SetScalar(input, random.Pick(kScalars), payload);
            break;
        }
        case 3:
            // Text: an address in the payload, never a number.
            switch (random.Between(0, 2)) {
                case 0: input.value = Value::String(AnyWideText(random, false)); break;
                case 1: input.value = Value::AnsiString(AnyAnsiText(random)); break;
                default: input.value = Value::Bstr(AnyWideText(random, true)); break;
            }
            input.hasNumber = false;
            break;
        case 4:
            // An address as well: a CLSID, clipboard data, an object, a safe array.
            switch (random.Between(0, 3)) {
                case 0: input.value = Value::Clsid(AnyGuid(random)); break;
                case 1:
                    input.value =
                        Value::ClipData(random.Word(), random.Bytes(random.Between(0, 80)));
                    break;
                case 2: {
                    static const VARTYPE kInterfaces[] = {VT_UNKNOWN, VT_DISPATCH, VT_STREAM,
                                                          VT_STREAMED_OBJECT};
                    input.value = Value::Object(kInterfaces[random.Between(0, 3)]);
                    break;
                }
                default: {
                    const ScalarType& element = PickElement(random, true);
                    input.value = Value::SafeArray(
                        element.type, random.Bytes(random.Between(0, 12) * element.size));
                }
            }
            input.hasNumber = false;
            break;
        case 5:
        case 6:
        case 7: {
            size_t size;
            switch (random.Between(0, 3)) {
                case 0: size = random.Between(0, 24); break;
                case 1: size = random.Between(36, 44); break;  // around a whole extensible format
                case 2: size = random.Between(45, 400); break;
                default: size = random.Between(0, 64); break;
            }
            input.blob = random.Bytes(size);
            if (formatKey && size >= 18 && random.OneIn(3)) {
                input.blob[0] = 0x92;  // AC-3 over S/PDIF
                input.blob[1] = 0x00;
            }
            input.isBlob = !random.OneIn(5);
            input.value = input.isBlob ? Value::Blob(input.blob) : Value::BlobObject(input.blob);
            input.number = static_cast<ULONG>(size);  // a blob's byte count comes first
            break;
        }
        case 8: {
            // DECIMAL fills the whole PROPVARIANT; the payload's first four bytes are the lowest
            // 32 bits of its 96-bit number.
            DECIMAL number;
            std::vector<BYTE> bytes = random.Bytes(sizeof number);
            std::memcpy(&number, bytes.data(), sizeof number);
            number.scale = static_cast<BYTE>(random.Between(0, 28));
            number.sign = random.OneIn(2) ? DECIMAL_NEG : 0;
            input.value = Value::Decimal(number);
            input.number = number.Lo32;
            break;
        }
        case 9:
        case 10: {
            size_t count = random.Between(0, 40);
            if (random.OneIn(4)) {
                input.value = Value::Vector(VT_CLSID, random.Bytes(count * sizeof(GUID)));
            } else {
                const ScalarType& element = PickElement(random, false);
                input.value = Value::Vector(element.type, random.Bytes(count * element.size));
            }
            input.number = static_cast<ULONG>(count);  // a vector's count comes first
            break;
        }
        case 11:
        case 12: {
            static const VARTYPE kElements[] = {VT_LPSTR, VT_LPWSTR, VT_BSTR, VT_CF, VT_VARIANT};
            VARTYPE element = kElements[random.Between(0, 4)];
            std::vector<Value> elements(random.Between(0, 8));
            for (Value& item : elements) {
                item = AnyElement(random, element);
            }
            input.number = static_cast<ULONG>(elements.size());
            input.value = Value::VectorOf(element, std::move(elements));
            break;
        }
        default: {
            // A type no property store hands out: GetValue fails.
            static const VARTYPE kOthers[] = {VT_VARIANT,
                                              VT_VOID,
                                              VT_HRESULT,
                                              VT_PTR,
                                              VT_SAFEARRAY,
                                              VT_USERDEFINED,
                                              VT_RECORD,
                                              VT_BYREF | VT_I4,
                                              VT_VECTOR | VT_INT,
                                              VT_VECTOR | VT_DECIMAL,
                                              VT_ARRAY | VT_LPWSTR,
                                              0x7FFF};
            VARTYPE type = random.OneIn(2)
                               ? kOthers[random.Between(0, sizeof kOthers / sizeof *kOthers - 1)]
                               : static_cast<VARTYPE>(random.Between(0x4A, 0xFFF));
            input.value = Value::Scalar(type, 0);
            input.readable = false;
            break;
        }
    }
    return input;
}

bool CarriesNumber(VARTYPE type) {
    if ((type & VT_VECTOR) && !(type & (VT_ARRAY | VT_BYREF))) {
        return true;
    }
    static const VARTYPE kInline[] = {
        VT_EMPTY, VT_NULL,  VT_I1,       VT_UI1,     VT_I2,   VT_UI2,        VT_I4, VT_UI4,
        VT_INT,   VT_UINT,  VT_I8,       VT_UI8,     VT_R4,   VT_R8,         VT_CY, VT_DATE,
        VT_BOOL,  VT_ERROR, VT_FILETIME, VT_DECIMAL, VT_BLOB, VT_BLOB_OBJECT};
    for (VARTYPE listed : kInline) {
        if (type == listed) {
            return true;
        }
    }
    return false;
}

}  // namespace badinput
