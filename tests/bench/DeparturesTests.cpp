// Each departure the model names, beside the written rule it departs from: the run the model
// plans with the departure, and the one the written rules alone would make, in a case where the
// two differ.
#include <gtest/gtest.h>

#include <set>

#include "bench/sweep/Departures.h"
#include "tests/bench/ModelFixture.h"

namespace {

using namespace model_test;
using sweep::Departure;
using sweep::Follow;

constexpr Follow kNamed = Follow::NamedDepartures;
constexpr Follow kWritten = Follow::WrittenRulesOnly;

RunPlan Both(const char* call, Part part, size_t step, int nth, Variant variant, bool secondStart,
             Follow follow) {
    return PlanWith(Machine(secondStart), call, part, step, nth, variant, follow);
}

TEST(Departures, EachIsNamedWithItsRuleItsMendAndItsReason) {
    std::set<std::string> names;
    for (const sweep::DepartureText& text : sweep::Departures()) {
        EXPECT_TRUE(names.insert(text.name).second) << text.name;
        EXPECT_GT(std::string(text.writtenRule).size(), 20u) << text.name;
        EXPECT_GT(std::string(text.followed).size(), 20u) << text.name;
        EXPECT_GT(std::string(text.reason).size(), 20u) << text.name;
    }
    EXPECT_EQ(9u, names.size());
}

// A marker read that fails: the written rule writes the marker and the defaults over a person's
// words; the departure loads them.
TEST(Departures, AnUnreadableMarkerLoadsTheWords) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = Both("FxStore::GetValue {A6F29F8F},2", Part::PageStart, 0, 1,
                            Variant::Failure, true, follow);
        EXPECT_EQ(follow == kNamed ? 0u : 7u, plan.parts[0].size());
    }
}

// A headphone word that cannot be read beside selector 1: the written rule counts it as off and
// sends the selector back to 2.
TEST(Departures, SelectorOneStaysBesideAnUnreadHeadphoneWord) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = Both("FxStore::GetValue {729AD972},0", Part::PageStart, 0, 1,
                            Variant::Failure, true, follow);
        EXPECT_EQ(follow == kNamed ? std::vector<DWORD>{} : std::vector<DWORD>{2},
                  WordsOf(plan.parts[0], keys::HeadphoneSelector));
    }
}

// Natural Bass's read fails as its box is clicked off: the written rule builds on 0 and wipes the
// person's fields; the departure builds on the page's last reading.
TEST(Departures, ACommandBuildsOnAWord) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = Both("FxStore::GetValue {50AF0471},0", Part::Step, 1, 1, Variant::Failure,
                            true, follow);
        EXPECT_EQ(std::vector<DWORD>{follow == kNamed ? 0x0000622Au : 0x00000000u},
                  WordsOf(plan.parts[2], keys::NaturalBass));
    }
}

// Once the callback is listed the page reads its three words and the bypass value again; the
// written rules read nothing more.
TEST(Departures, TheWordsAreReadAgainOnceTheCallbackIsListed) {
    for (Follow follow : {kNamed, kWritten}) {
        std::vector<std::string> page =
            CallsOf(sweep::PlanRun(Machine(false), std::nullopt, follow), Part::PageStart);
        std::vector<std::string> last(page.end() - 4, page.end());
        std::vector<std::string> reread = {
            "FxStore::GetValue {729AD972},0", "FxStore::GetValue {B36ED2B1},0",
            "FxStore::GetValue {50AF0471},0", "FxStore::GetValue {1DA5D803},5"};
        EXPECT_EQ(follow == kNamed, last == reread);
    }
}

// The first click writes the expander and then the headphone word: two changes, read once under
// the departure, once each by the written rules.
TEST(Departures, TheChangesOfAStepAreReadTogether) {
    for (Follow follow : {kNamed, kWritten}) {
        std::vector<std::string> step =
            CallsOf(sweep::PlanRun(Machine(false), std::nullopt, follow), Part::Step, 0);
        long reads = std::count(step.begin(), step.end(), "FxStore::GetValue {B36ED2B1},0");
        EXPECT_EQ(follow == kNamed ? 1 : 2, reads);
    }
}

// Shutdown: the written rules make an enumerator to unregister through, whether or not the
// registration went; the departure unregisters through the registration's own, and only a client
// that was registered.
TEST(Departures, TheClientIsUnregisteredThroughItsOwnEnumerator) {
    const std::vector<std::string> kept = {
        "IMMDeviceEnumerator::UnregisterEndpointNotificationCallback"};
    const std::vector<std::string> made = {
        "CoCreateInstance(MMDeviceEnumerator)",
        "IMMDeviceEnumerator::UnregisterEndpointNotificationCallback"};
    size_t close = sweep::Script().size() - 1;
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = sweep::PlanRun(Machine(false), std::nullopt, follow);
        EXPECT_EQ(follow == kNamed ? kept : made, CallsOf(plan, Part::Step, close));
        RunPlan unregistered = Both("IMMDeviceEnumerator::RegisterEndpointNotificationCallback",
                                    Part::StartUp, 0, 1, Variant::Failure, false, follow);
        EXPECT_EQ(follow == kNamed ? std::vector<std::string>{} : made,
                  CallsOf(unregistered, Part::Step, close));
    }
}

// A failed delete of the examined interface: the departure asks for the next member; the written
// rules would ask for member 0 again, for ever, and the model stops there.
TEST(Departures, AFailedDeleteStepsTheEnumerationPastIt) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = Both("SetupDiDeleteDeviceInterfaceData", Part::StartUp, 0, 1,
                            Variant::Failure, false, follow);
        size_t at = CallNumber(plan, "SetupDiDeleteDeviceInterfaceData", Part::StartUp);
        EXPECT_EQ(follow == kNamed ? "SetupDiEnumDeviceInterfaces 1"
                                   : "SetupDiDestroyDeviceInfoList class",
                  plan.calls[at].name);
    }
}

// The accessor opens the store with success and no handle: the departure ends start-up; the
// written rules go on with a page that reads nothing.
TEST(Departures, AStoreWithoutAHandleEndsStartUp) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan = Both("FxStoreAccess::OpenFxStore", Part::StartUp, 0, 1, Variant::Unusable,
                            false, follow);
        EXPECT_EQ(follow == kWritten, plan.sheetShown);
    }
}

// The page's device gives an empty id as the first default is written: the departure writes with
// it and the service refuses; the written rules write nothing.
TEST(Departures, AnEmptyIdIsWrittenWith) {
    for (Follow follow : {kNamed, kWritten}) {
        RunPlan plan =
            Both("IMMDevice::GetId", Part::PageStart, 0, 1, Variant::Unusable, false, follow);
        std::vector<DWORD> mode = WordsOf(plan.parts[0], keys::ModeWord);
        EXPECT_EQ(follow == kNamed ? std::vector<DWORD>{0x006007E0} : std::vector<DWORD>{}, mode);
        if (!mode.empty()) {
            EXPECT_FALSE(plan.parts[0][1].accepted);
            EXPECT_EQ(L"", plan.parts[0][1].endpoint);
        }
    }
}

}  // namespace
