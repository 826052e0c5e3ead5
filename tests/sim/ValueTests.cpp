#include <gtest/gtest.h>

#include "framework/CPropVariant.h"
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
    };
    for (const Value& value : values) {
        EXPECT_EQ(value, RoundTrip(value)) << value.Describe();
    }
    EXPECT_EQ(before, sim::audio::LiveCoTaskMemBlocks());
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
}

TEST(SimValue, RefusesTypesItDoesNotKeep) {
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_UNKNOWN;
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
