#include <gtest/gtest.h>

#include <cstring>

#include "framework/CPropVariant.h"
#include "sim/audio/LiveObjects.h"
#include "sim/audio/MallocSpy.h"
#include "sim/audio/Value.h"
#include "tests/support/HResult.h"

namespace {

using sim::audio::Value;

// Out through a PROPVARIANT and back: what GetValue hands out and WriteEndpointProperty takes.
Value RoundTrip(const Value& value) {
    CPropVariant variant;
    EXPECT_EQ(Hr(S_OK), Hr(value.ToPropVariant(&variant)));
    Value back;
    EXPECT_EQ(Hr(S_OK), Hr(Value::FromPropVariant(*variant.Get(), &back)));
    return back;
}

TEST(SimValue, EveryKindSurvivesTheTripThroughAPropVariant) {
    GUID clsid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    size_t before = sim::audio::LiveCoTaskMemBlocks();
    const Value values[] = {
        Value(),
        Value::UInt32(0x80003513),
        Value::Int32(-5),
        Value::Scalar(VT_R8, 0x400921FB54442D18ULL),
        Value::Scalar(VT_BOOL, 0xFFFF),
        Value::String(L"Speakers (Halvo High Definition Audio)"),
        Value::String(L""),
        Value::String(std::wstring(300, L'x')),
        Value::Blob({1, 2, 3}),
        Value::Blob(std::vector<BYTE>{}),
        Value::Blob(&clsid, sizeof clsid),
        Value::Vector(VT_UI4, {1, 0, 0, 0, 2, 0, 0, 0}),
        Value::AnsiString("Lautsprecher"),
        Value::AnsiString(""),
        Value::Bstr(std::wstring(L"with\0zero", 9)),
        Value::Bstr(L""),
        Value::Clsid(clsid),
        Value::BlobObject({9, 8, 7}),
        Value::ClipData(CF_TEXT, {'h', 'i', 0}),
        Value::ClipData(CF_BITMAP, {}),
        Value::Decimal(DECIMAL{0, {{2, DECIMAL_NEG}}, 7, {{0x89ABCDEF, 0x1234}}}),
        Value::Vector(VT_CLSID, std::vector<BYTE>(reinterpret_cast<BYTE*>(&clsid),
                                                  reinterpret_cast<BYTE*>(&clsid + 1))),
        Value::VectorOf(VT_LPSTR, {Value::AnsiString("a"), Value::AnsiString("")}),
        Value::VectorOf(VT_LPWSTR, {Value::String(L"one"), Value::String(L"two")}),
        Value::VectorOf(VT_BSTR, {Value::Bstr(L"x"), Value::Bstr(L"")}),
        Value::VectorOf(VT_CF, {Value::ClipData(CF_TEXT, {'a', 0}), Value::ClipData(7, {})}),
        Value::VectorOf(VT_VARIANT, {Value::UInt32(3), Value::String(L"s"), Value::Blob({1}),
                                     Value::Bstr(L"b")}),
        Value::VectorOf(VT_LPSTR, {}),
        Value::SafeArray(VT_I4, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
        Value::SafeArray(VT_UI1, {}),
    };
    for (const Value& value : values) {
        EXPECT_EQ(value, RoundTrip(value)) << value.Describe();
        EXPECT_EQ(before, sim::audio::LiveCoTaskMemBlocks()) << value.Describe();
    }
}

// Every block a value hands out, nested ones included, goes back with PropVariantClear; an
// object goes back with its last reference.
TEST(SimValue, PropVariantClearTakesBackEverythingHandedOut) {
    size_t before = sim::audio::LiveCoTaskMemBlocks();
    std::vector<Value> values = {
        Value::VectorOf(VT_LPWSTR, {Value::String(L"one"), Value::String(L"two")}),
        Value::VectorOf(VT_CF, {Value::ClipData(CF_TEXT, {'a', 0})}),
        Value::VectorOf(VT_VARIANT, {Value::String(L"s"), Value::Object()}),
        Value::SafeArray(VT_R8, std::vector<BYTE>(16, 1)),
        Value::Object(),
        Value::Object(VT_DISPATCH),
        Value::Object(VT_STREAM),
        Value::Object(VT_STREAMED_OBJECT),
    };
    for (VARTYPE scalar : {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_BOOL, VT_I4, VT_UI4, VT_R4, VT_ERROR,
                           VT_I8, VT_UI8, VT_R8, VT_CY, VT_DATE, VT_FILETIME, VT_INT, VT_UINT}) {
        size_t size = sim::audio::ScalarSize(scalar);
        if (scalar != VT_INT && scalar != VT_UINT) {
            values.push_back(Value::Vector(scalar, std::vector<BYTE>(3 * size, 7)));
        }
        if (scalar != VT_I8 && scalar != VT_UI8 && scalar != VT_FILETIME) {
            values.push_back(Value::SafeArray(scalar, std::vector<BYTE>(3 * size, 7)));
        }
    }
    for (const Value& value : values) {
        PROPVARIANT variant;
        ASSERT_EQ(Hr(S_OK), Hr(value.ToPropVariant(&variant))) << value.Describe();
        EXPECT_LT(before, sim::audio::LiveCoTaskMemBlocks() +
                              sim::audio::LiveObjects(sim::audio::ObjectKind::StoredObject))
            << value.Describe();
        EXPECT_EQ(Hr(S_OK), Hr(PropVariantClear(&variant))) << value.Describe();
        EXPECT_EQ(before, sim::audio::LiveCoTaskMemBlocks()) << value.Describe();
        EXPECT_EQ(0, sim::audio::LiveObjects(sim::audio::ObjectKind::StoredObject));
    }
}

// A hand-out that runs out of memory half-way takes back what it had made and hands out nothing.
TEST(SimValue, AHandOutThatFailsHalfWayKeepsNothing) {
    struct Case {
        Value value;
        size_t failingSize;  // the block that cannot be had
    };
    const Case cases[] = {
        {Value::VectorOf(VT_LPWSTR, {Value::String(L"one"), Value::String(L"second")}), 14},
        {Value::VectorOf(VT_LPSTR, {Value::AnsiString("one"), Value::AnsiString("second")}), 7},
        {Value::VectorOf(VT_VARIANT, {Value::String(L"one"), Value::Blob({1, 2, 3, 4, 5})}), 5},
        {Value::ClipData(CF_TEXT, {'a', 'b', 'c'}), 3},
    };
    for (const Case& c : cases) {
        size_t before = sim::audio::LiveCoTaskMemBlocks();
        sim::audio::FailCoTaskMemAllocs(c.failingSize, 1);
        CPropVariant variant;
        EXPECT_EQ(Hr(E_OUTOFMEMORY), Hr(c.value.ToPropVariant(&variant))) << c.value.Describe();
        EXPECT_EQ(VT_EMPTY, variant->vt);
        EXPECT_EQ(before, sim::audio::LiveCoTaskMemBlocks()) << c.value.Describe();
        sim::audio::FailCoTaskMemAllocs(c.failingSize, 0);
    }
}

TEST(SimValue, HandsOutWhatAReaderExpects) {
    CPropVariant variant;
    ASSERT_EQ(Hr(S_OK), Hr(Value::Blob({1, 2, 3, 4, 5}).ToPropVariant(&variant)));
    EXPECT_EQ(VT_BLOB, variant->vt);
    EXPECT_EQ(5u, variant->blob.cbSize);
    EXPECT_EQ(5, variant->blob.pBlobData[4]);

    ASSERT_EQ(Hr(S_OK), Hr(Value::Scalar(VT_UI2, 0x12345).ToPropVariant(&variant)));
    EXPECT_EQ(VT_UI2, variant->vt);
    EXPECT_EQ(0x2345u, variant->ulVal);  // only the type's own bytes are set

    ASSERT_EQ(Hr(S_OK), Hr(Value::AnsiString("Mic").ToPropVariant(&variant)));
    EXPECT_EQ(VT_LPSTR, variant->vt);
    EXPECT_STREQ("Mic", variant->pszVal);

    ASSERT_EQ(Hr(S_OK), Hr(Value::Bstr(std::wstring(L"a\0b", 3)).ToPropVariant(&variant)));
    EXPECT_EQ(VT_BSTR, variant->vt);
    EXPECT_EQ(3u, SysStringLen(variant->bstrVal));

    ASSERT_EQ(Hr(S_OK), Hr(Value::ClipData(CF_TEXT, {'h', 'i'}).ToPropVariant(&variant)));
    EXPECT_EQ(VT_CF, variant->vt);
    EXPECT_EQ(6u, variant->pclipdata->cbSize);  // the format and the data
    EXPECT_EQ(static_cast<ULONG>(CF_TEXT), variant->pclipdata->ulClipFmt);
    EXPECT_EQ('i', variant->pclipdata->pClipData[1]);

    DECIMAL number = {0, {{0, 0}}, 1, {{0x89ABCDEF, 2}}};
    ASSERT_EQ(Hr(S_OK), Hr(Value::Decimal(number).ToPropVariant(&variant)));
    EXPECT_EQ(VT_DECIMAL, variant->vt);
    EXPECT_EQ(0x89ABCDEFu, variant->ulVal);  // the number's low bits, where a word is read

    ASSERT_EQ(Hr(S_OK), Hr(Value::VectorOf(VT_BSTR, {Value::Bstr(L"x"), Value::Bstr(L"yz")})
                               .ToPropVariant(&variant)));
    EXPECT_EQ(VT_VECTOR | VT_BSTR, variant->vt);
    ASSERT_EQ(2u, variant->cabstr.cElems);
    EXPECT_STREQ(L"yz", variant->cabstr.pElems[1]);

    ASSERT_EQ(Hr(S_OK), Hr(Value::SafeArray(VT_UI2, {1, 0, 2, 0, 3, 0}).ToPropVariant(&variant)));
    EXPECT_EQ(VT_ARRAY | VT_UI2, variant->vt);
    LONG upper = 0;
    SafeArrayGetUBound(variant->parray, 1, &upper);
    EXPECT_EQ(2, upper);

    ASSERT_EQ(Hr(S_OK), Hr(Value::Object().ToPropVariant(&variant)));
    EXPECT_EQ(VT_UNKNOWN, variant->vt);
    EXPECT_EQ(1, sim::audio::LiveObjects(sim::audio::ObjectKind::StoredObject));
    variant.Clear();
    EXPECT_EQ(0, sim::audio::LiveObjects(sim::audio::ObjectKind::StoredObject));
}

TEST(SimValue, RefusesTypesItDoesNotKeep) {
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_STORAGE;
    Value value;
    EXPECT_EQ(Hr(DISP_E_BADVARTYPE), Hr(Value::FromPropVariant(variant, &value)));
}

}  // namespace

namespace {

TEST(MallocSpy, FailsTheChosenAllocationsOnly) {
    sim::audio::FailCoTaskMemAllocs(1234, 1);
    void* other = CoTaskMemAlloc(1233);
    EXPECT_NE(nullptr, other);
    EXPECT_EQ(nullptr, CoTaskMemAlloc(1234));
    void* again = CoTaskMemAlloc(1234);
    EXPECT_NE(nullptr, again);
    CoTaskMemFree(again);
    CoTaskMemFree(other);
}

}  // namespace
