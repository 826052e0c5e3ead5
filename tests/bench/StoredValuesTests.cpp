// The sweep's check of what a run left in the stores: exactly what the rules' writes leave.
#include <gtest/gtest.h>

#include "bench/sweep/StoredValues.h"
#include "sim/machine/EffectKeys.h"
#include "tests/support/SimAudioTest.h"

namespace keys = sim::keys;

namespace {

using sim::audio::Store;
using sim::audio::Value;
using sweep::StoredValues;

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555}";
const std::string kPlace =
    "{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555} fx PKEY_Xan_NaturalBass";

TEST(UnexpectedValues, RefuseAnotherValueTheRightBitsInAnotherTypeAndAValueGoneOrNew) {
    StoredValues expected = {{kPlace, Value::UInt32(0x80003513)}};
    EXPECT_TRUE(sweep::UnexpectedValues(expected, expected).empty());
    for (const StoredValues& after :
         {StoredValues{{kPlace, Value::UInt32(0x80000300)}},
          StoredValues{{kPlace, Value::Int32(0x80003513)}}, StoredValues{}}) {
        EXPECT_EQ(1u, sweep::UnexpectedValues(expected, after).size());
    }
    auto found = sweep::UnexpectedValues({}, expected);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(kPlace + " holds VT_UI4 0x80003513, where the rules leave nothing", found[0]);
}

using StoredValuesOfTheService = SimAudioTest;

TEST_F(StoredValuesOfTheService, ASnapshotHoldsBothStoresAndAStoreCanBePutInPlaceOfOne) {
    sim->AddEndpoint(kId);
    sim->ChangeFromOutside(Store::Fx, kId, keys::NaturalBass, Value::UInt32(0x80000513));
    sim->ChangeFromOutside(Store::Endpoint, kId, PKEY_AudioEndpoint_FormFactor, Value::UInt32(1));
    StoredValues stored = sweep::Snapshot(*sim, {kId});
    EXPECT_EQ(2u, stored.size());
    EXPECT_EQ(Value::UInt32(0x80000513), stored[kPlace]);

    sweep::PutStore(&stored, kId, Store::Fx, {{keys::Headphone, Value::UInt32(0x211)}});
    EXPECT_EQ(0u, stored.count(kPlace));
    EXPECT_EQ(2u, stored.size());
    sim->FlushNotifications();
}

}  // namespace
