// The sweep's model of the rules: what the scripted use must write given the one call that failed.
// A model that copied a fault of the program would pass every run, so its key answers are pinned
// here to words written out by hand.
#include <gtest/gtest.h>

#include <optional>

#include "bench/sweep/CallRoles.h"
#include "bench/sweep/ScriptModel.h"
#include "sim/machine/EffectKeys.h"
#include "sim/machine/MachineState.h"

namespace keys = sim::keys;

namespace {

using sim::audio::Value;
using sweep::CallRole;
using sweep::Fault;
using sweep::IntendedWrite;
using sweep::Link;
using sweep::Part;
using sweep::Purpose;

const PROPERTYKEY kFormFactor = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0};

// The speakers at 96000 Hz; on a second start the marker and a person's own words.
sweep::ModelMachine Machine(bool secondStart) {
    sweep::ModelMachine machine;
    machine.endpointStore = {
        {kFormFactor, Value::UInt32(1)},
        {PKEY_AudioEngine_DeviceFormat, sim::machine::DeviceFormat(96000, 24)}};
    if (secondStart) {
        machine.fxStore = {{keys::FirstRunMarker, Value::UInt32(0)},
                           {keys::ModeWord, Value::UInt32(0x80400A39)},
                           {keys::Headphone, Value::UInt32(0x80000321)},
                           {keys::HeadphoneSelector, Value::UInt32(1)},
                           {keys::SoundSpaceExpander, Value::UInt32(0x1)},
                           {keys::LevelWord, Value::UInt32(0x80000007)},
                           {keys::NaturalBass, Value::UInt32(0x8000622A)}};
    }
    return machine;
}

std::optional<Fault> ReadFails(Part part, size_t step, const PROPERTYKEY& key, int occurrence) {
    return Fault{
        CallRole{part, step, Purpose::Read, Link::GetValue, sweep::KeyText(key), occurrence}};
}

std::vector<DWORD> WordsOf(const std::vector<IntendedWrite>& writes, const PROPERTYKEY& key) {
    std::vector<DWORD> words;
    for (const IntendedWrite& write : writes) {
        if (write.key.pid == key.pid && IsEqualGUID(write.key.fmtid, key.fmtid)) {
            words.push_back(write.value.UInt32());
        }
    }
    return words;
}

TEST(ScriptModel, AFirstRunWritesTheMarkerByTheHandleThenTheDefaults) {
    sweep::RunPlan plan = sweep::PlanRun(Machine(false), std::nullopt);
    const std::vector<IntendedWrite>& start = plan.parts[0];
    ASSERT_EQ(7u, start.size());
    EXPECT_EQ(sim::audio::WriteOrigin::FxStoreHandle, start[0].origin);
    EXPECT_EQ(std::vector<DWORD>{0}, WordsOf(start, keys::FirstRunMarker));
    EXPECT_EQ(std::vector<DWORD>{0x80000211}, WordsOf(start, keys::Headphone));
    EXPECT_EQ(std::vector<DWORD>{2}, WordsOf(start, keys::HeadphoneSelector));
    EXPECT_EQ(std::vector<DWORD>{0x80003513}, WordsOf(start, keys::NaturalBass));
}

// A second start leaves a person's words alone, whichever read of the start fails; a command
// whose read fails builds on the page's last reading of the person's word.
TEST(ScriptModel, ASecondStartKeepsThePersonsWordsWhateverReadFails) {
    const struct {
        const char* what;
        std::optional<Fault> fault;
        DWORD naturalBassAtStep2;
    } cases[] = {
        {"no fault", std::nullopt, 0x0000622A},
        {"the marker", ReadFails(Part::PageStart, 0, keys::FirstRunMarker, 1), 0x0000622A},
        {"the headphone word", ReadFails(Part::PageStart, 0, keys::Headphone, 1), 0x0000622A},
        {"Natural Bass in its click", ReadFails(Part::Step, 1, keys::NaturalBass, 1), 0x0000622A},
    };
    for (const auto& c : cases) {
        sweep::RunPlan plan = sweep::PlanRun(Machine(true), c.fault);
        EXPECT_TRUE(plan.parts[0].empty()) << c.what;
        EXPECT_EQ(std::vector<DWORD>{c.naturalBassAtStep2},
                  WordsOf(plan.parts[2], keys::NaturalBass))
            << c.what;
    }
    // The selector goes back only for a headphone word read and found off.
    sweep::ModelMachine off = Machine(true);
    off.fxStore[2].second = Value::UInt32(0x00000321);
    EXPECT_EQ(std::vector<DWORD>{2},
              WordsOf(sweep::PlanRun(off, std::nullopt).parts[0], keys::HeadphoneSelector));
}

// A command's write that fails leaves the stored word, so the next command builds on it: the
// slide after a failed Natural Bass click keeps the effect on (0x80003313, not 0x00003313).
TEST(ScriptModel, AFailedWriteLeavesTheStoredWordForTheNextCommand) {
    using Variant = sim::call_sweep::Variant;
    const struct {
        Link link;
        Variant variant;
        std::vector<DWORD> clickWrites;  // tried by the click, step 2
        bool clickLands;
    } cases[] = {
        {Link::Write, Variant::Failure, {0x00003513}, false},
        {Link::DeviceId, Variant::Failure, {}, false},
        // An empty device id reaches the service, which refuses the write.
        {Link::DeviceId, Variant::Unusable, {0x00003513}, false},
        {Link::Config, Variant::Failure, {}, false},
        // A failed version query is asked again with the plain structure.
        {Link::Version, Variant::Failure, {0x00003513}, true},
        {Link::Version, Variant::Unusable, {}, false},
    };
    for (const auto& c : cases) {
        std::optional<Fault> fault = Fault{
            CallRole{Part::Step, 1, Purpose::Write, c.link, sweep::KeyText(keys::NaturalBass), 1},
            c.variant};
        sweep::RunPlan plan = sweep::PlanRun(Machine(false), fault);
        const std::vector<IntendedWrite>& click = plan.parts[2];
        std::string what = sweep::Describe(fault->role);
        EXPECT_EQ(c.clickWrites, WordsOf(click, keys::NaturalBass)) << what;
        for (const IntendedWrite& write : click) {
            EXPECT_EQ(c.clickLands, write.accepted) << what;
        }
        EXPECT_EQ(std::vector<DWORD>{c.clickLands ? 0x00003313u : 0x80003313u},
                  WordsOf(plan.parts[3], keys::NaturalBass))
            << what;
    }
}

// A first run whose defaults did not land (no device of the page's own, or the expander's default
// refused) still shows them: the first click switches the expander off, with no format check at
// 96000 Hz. Shown off, the click would force the format and write 0x80000001. With no device
// nothing is written, so no refresh comes either, and Natural Bass, still shown on, goes off too.
TEST(ScriptModel, AFirstRunDefaultThatDidNotLandIsStillShown) {
    const struct {
        const char* what;
        Fault fault;
        std::vector<DWORD> expanderWrites;
    } cases[] = {
        {"no device", Fault{CallRole{Part::PageStart, 0, Purpose::PageDevice, Link::Other, "", 0}},
         {}},
        {"the default refused",
         Fault{CallRole{Part::PageStart, 0, Purpose::Write, Link::Write,
                        sweep::KeyText(keys::SoundSpaceExpander), 1}},
         {0x00000001}},
    };
    for (const auto& c : cases) {
        sweep::RunPlan plan = sweep::PlanRun(Machine(false), c.fault);
        EXPECT_TRUE(WordsOf(plan.parts[1], PKEY_AudioEngine_DeviceFormat).empty()) << c.what;
        EXPECT_EQ(c.expanderWrites, WordsOf(plan.parts[1], keys::SoundSpaceExpander)) << c.what;
    }
    sweep::RunPlan plan = sweep::PlanRun(Machine(false), cases[0].fault);
    EXPECT_TRUE(WordsOf(plan.parts[2], PKEY_AudioEngine_DeviceFormat).empty());
}

// A marker read that succeeds with nothing is a store without a marker: met for the first time.
TEST(ScriptModel, AMarkerReadAsNothingIsAFirstRun) {
    std::optional<Fault> fault = ReadFails(Part::PageStart, 0, keys::FirstRunMarker, 1);
    fault->variant = sim::call_sweep::Variant::Unusable;
    sweep::RunPlan plan = sweep::PlanRun(Machine(true), fault);
    const std::vector<IntendedWrite>& start = plan.parts[0];
    EXPECT_EQ(std::vector<DWORD>{0}, WordsOf(start, keys::FirstRunMarker));
    EXPECT_EQ(std::vector<DWORD>{0x80003513}, WordsOf(start, keys::NaturalBass));
}

}  // namespace
