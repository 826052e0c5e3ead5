// The sweep's judgement of what a failed run left in the stores: only a value as it was, or as
// the fault-free run wrote it, is an intended one.
#include <gtest/gtest.h>

#include "bench/sweep/StoredValues.h"
#include "sim/machine/EffectKeys.h"
#include "tests/support/SimAudioTest.h"

namespace keys = sim::keys;

namespace {

using sim::audio::Store;
using sim::audio::Value;
using sweep::StoredValues;
using sweep::WrittenValues;

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555}";
const std::string kPlace =
    "{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555} fx "
    "PKEY_Xan_NaturalBass";

TEST(UnintendedValues, AcceptOnlyTheValueBeforeOrOneTheFaultFreeRunWrote) {
    StoredValues before = {{kPlace, Value::UInt32(0x80003513)}};
    WrittenValues intended = {{kPlace, {Value::UInt32(0x00003513), Value::UInt32(0x80003313)}}};

    EXPECT_TRUE(sweep::UnintendedValues(before, before, intended).empty());
    EXPECT_TRUE(
        sweep::UnintendedValues(before, {{kPlace, Value::UInt32(0x80003313)}}, intended).empty());

    // The other fields wiped: a word no run meant.
    auto torn = sweep::UnintendedValues(before, {{kPlace, Value::UInt32(0x80000300)}}, intended);
    ASSERT_EQ(1u, torn.size());
    EXPECT_EQ(kPlace +
                  " holds VT_UI4 0x80000300, neither what it held (VT_UI4 0x80003513) nor a "
                  "value the fault-free run wrote",
              torn[0]);
}

TEST(UnintendedValues, RefuseTheRightBitsInTheWrongTypeAndAValueGone) {
    StoredValues before = {{kPlace, Value::UInt32(0x80003513)}};
    WrittenValues intended = {{kPlace, {Value::UInt32(0x00003513)}}};
    EXPECT_EQ(
        1u, sweep::UnintendedValues(before, {{kPlace, Value::Int32(0x00003513)}}, intended).size());
    EXPECT_EQ(1u, sweep::UnintendedValues(before, {}, intended).size());
    // A place that had nothing may come to hold an intended value, and nothing else.
    EXPECT_TRUE(
        sweep::UnintendedValues({}, {{kPlace, Value::UInt32(0x00003513)}}, intended).empty());
    EXPECT_EQ(1u, sweep::UnintendedValues({}, {{kPlace, Value::UInt32(0)}}, intended).size());
}

using StoredValuesOfTheService = SimAudioTest;

TEST_F(StoredValuesOfTheService, CountOnlyTheWritesTheServiceAccepted) {
    sim->AddEndpoint(kId);
    sim->ChangeFromOutside(Store::Fx, kId, keys::NaturalBass, Value::UInt32(0x80000513));
    sim->LogWrite(sim::audio::WriteOrigin::Config7, 12, Store::Fx, kId, keys::NaturalBass,
                  Value::UInt32(0x00000100), E_FAIL);

    WrittenValues written = sweep::Written(*sim);
    ASSERT_EQ(1u, written.count(kPlace));
    EXPECT_EQ(std::vector<Value>{Value::UInt32(0x80000513)}, written[kPlace]);
    StoredValues stored = sweep::Snapshot(*sim, {kId});
    ASSERT_EQ(1u, stored.count(kPlace));
    EXPECT_EQ(Value::UInt32(0x80000513), stored[kPlace]);
    sim->FlushNotifications();
}

}  // namespace
