#include <gtest/gtest.h>

#include "sim/machine/EffectKeys.h"
#include "sim/machine/MachineState.h"

namespace keys = sim::keys;

namespace {

using sim::audio::Value;
using sim::machine::MachineState;

TEST(MachineState, EveryKindOfValueSurvivesTheFile) {
    MachineState machine = sim::machine::DefaultMachine();
    auto& fx = machine.endpoints[0].fx;
    GUID clsid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    PROPERTYKEY other = {clsid, 9};
    sim::machine::PutEntry(fx, keys::NaturalBass, Value::UInt32(0xFFFFFFFF));
    sim::machine::PutEntry(fx, keys::Headphone, Value::String(L"Kopfh\u00f6rer"));
    sim::machine::PutEntry(fx, keys::ModeWord, Value::Scalar(VT_I2, 0x8001));
    sim::machine::PutEntry(fx, keys::LevelWord, Value::Blob({0, 1, 2, 255}));
    sim::machine::PutEntry(fx, other, Value::Blob(&clsid, sizeof clsid));
    machine.writes.push_back({machine.endpoints[0].id, "fx", keys::FirstRunMarker,
                              Value::UInt32(0), "FX store handle"});

    MachineState back;
    std::string error;
    ASSERT_TRUE(sim::machine::FromJson(sim::machine::ToJson(machine), &back, &error)) << error;
    EXPECT_EQ(sim::machine::ToJson(machine), sim::machine::ToJson(back));
    auto* entry = sim::machine::FindEntry(back.endpoints[0].fx, other);
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(Value::Blob(&clsid, sizeof clsid), entry->value);
    EXPECT_EQ(Value::Scalar(VT_I2, 0x8001),
              sim::machine::FindEntry(back.endpoints[0].fx, keys::ModeWord)->value);
}

TEST(MachineState, MalformedFilesAreRefusedWithAReason) {
    const char* bad[] = {
        "",
        "[]",
        "{\"driver\": 1}",
        "{\"driver\": {\"interfaces\": [], \"policy\": 0, \"jack\": 0, \"retasking\": [1, 1], "
        "\"chipRetasking\": [3, 3], \"effectSupport\": 8}, \"endpoints\": [{\"id\": \"x\", "
        "\"fx\": {\"PKEY_Nothing\": 1}}]}",
        "{\"driver\": {\"interfaces\": [], \"policy\": 0, \"jack\": 0, \"retasking\": [1, 1], "
        "\"chipRetasking\": [3, 3], \"effectSupport\": 8}, \"endpoints\": [{\"id\": \"x\", "
        "\"fx\": {\"PKEY_Xan_NaturalBass\": -1}}]}",
        "{\"driver\": {\"interfaces\": [], \"policy\": 0, \"jack\": 0, \"retasking\": [1, 1], "
        "\"chipRetasking\": [3, 3], \"effectSupport\": 8}, \"endpoints\": [{\"id\": \"x\", "
        "\"state\": \"sleepy\"}]}",
        "{\"windows\": \"seven\"}",
    };
    for (const char* text : bad) {
        MachineState state;
        std::string error;
        EXPECT_FALSE(sim::machine::FromJson(text, &state, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(MachineState, KeysByNameOrFormatId) {
    PROPERTYKEY key;
    ASSERT_TRUE(sim::machine::ParseKey("PKEY_Xan_NaturalBass", &key));
    EXPECT_TRUE(IsEqualPropertyKey(keys::NaturalBass, key));
    ASSERT_TRUE(sim::machine::ParseKey("{B36ED2B1-5EF5-458D-87F5-AC107C4784B9},0", &key));
    EXPECT_TRUE(IsEqualPropertyKey(keys::SoundSpaceExpander, key));
    EXPECT_EQ("PKEY_Xan_SoundSpaceExpander", sim::machine::KeyName(key));
    for (const char* bad : {"PKEY_Nothing", "{B36ED2B1-5EF5-458D-87F5-AC107C4784B9}",
                            "{B36ED2B1-5EF5-458D-87F5-AC107C4784B9},x", "{nonsense},1"}) {
        EXPECT_FALSE(sim::machine::ParseKey(bad, &key)) << bad;
    }
}

}  // namespace
