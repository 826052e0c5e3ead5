// The sweep's model of the rules: the calls the scripted use must make, whether start-up ends,
// and what each part writes, given the one call answered otherwise. A model that copied a fault
// of the program would pass every run, so its answers are pinned here to what the rules say,
// written out by hand.
#include <gtest/gtest.h>

#include "tests/bench/ModelFixture.h"

namespace {

using namespace model_test;

TEST(ScriptModel, AFirstRunWritesTheMarkerByTheHandleThenTheDefaults) {
    RunPlan plan = sweep::PlanRun(Machine(false), std::nullopt);
    ASSERT_TRUE(plan.sheetShown);
    const std::vector<IntendedWrite>& start = plan.parts[0];
    ASSERT_EQ(7u, start.size());
    EXPECT_EQ(sim::audio::WriteOrigin::FxStoreHandle, start[0].origin);
    EXPECT_EQ(std::vector<DWORD>{0}, WordsOf(start, keys::FirstRunMarker));
    EXPECT_EQ(std::vector<DWORD>{0x006007E0}, WordsOf(start, keys::ModeWord));
    EXPECT_EQ(std::vector<DWORD>{0x80000211}, WordsOf(start, keys::Headphone));
    EXPECT_EQ(std::vector<DWORD>{2}, WordsOf(start, keys::HeadphoneSelector));
    EXPECT_EQ(std::vector<DWORD>{0x80000001}, WordsOf(start, keys::SoundSpaceExpander));
    EXPECT_EQ(std::vector<DWORD>{0x80003513}, WordsOf(start, keys::NaturalBass));
}

// Start-up's order: the probe (discovery, the effect-support query, the inventory with the
// library and its 91 look-ups, the choice), the registration, the store's opening; then the page.
TEST(ScriptModel, StartUpCallsComeInTheOrderOfTheRules) {
    RunPlan plan = sweep::PlanRun(Machine(false), std::nullopt);
    std::vector<std::string> startUp = CallsOf(plan, Part::StartUp);
    ASSERT_GE(startUp.size(), 120u);
    EXPECT_EQ("SetupDiCreateDeviceInfoList", startUp[0]);
    EXPECT_EQ("SetupDiGetClassDevsW", startUp[1]);
    EXPECT_EQ("DeviceIoControl 0x001D6070", startUp[10]);
    EXPECT_EQ("CoCreateInstance(MMDeviceEnumerator)", startUp[12]);
    EXPECT_EQ("LoadLibraryW(XANPropPageExt.dll)", startUp[13]);
    EXPECT_EQ("GetProcAddress(HDAudVistaIsFirstTimeEffectFlag)", startUp[14]);
    EXPECT_EQ("GetProcAddress(Set_XAN_KaraokeDMicVolume)", startUp[104]);
    EXPECT_EQ("IMMDeviceEnumerator::EnumAudioEndpoints", startUp[105]);
    const std::vector<std::string> end = {
        "IMMDevice::GetState",
        "FreeLibrary(XANPropPageExt.dll)",
        "CoCreateInstance(MMDeviceEnumerator)",
        "IMMDeviceEnumerator::RegisterEndpointNotificationCallback",
        "CoCreateInstance(MMDeviceEnumerator)",
        "IMMDeviceEnumerator::GetDevice",
        "GetVersionExW",
        "IMMDevice::QueryInterface(FxStoreAccess)",
        "FxStoreAccess::OpenFxStore"};
    EXPECT_EQ(end, std::vector<std::string>(startUp.end() - 9, startUp.end()));
    // Every look-up is made, each export once.
    EXPECT_EQ(91, std::count_if(startUp.begin(), startUp.end(), [](const std::string& call) {
                  return call.rfind("GetProcAddress(", 0) == 0;
              }));
}

// Each start-up call, failing or answering unusably, ends start-up or lets it carry on as the
// rules say.
TEST(ScriptModel, EachStartUpCallEndsOrCarriesOnByItsRule) {
    const struct {
        const char* call;
        int nth;
        Variant variant;
        bool carriesOn;
    } cases[] = {
        {"SetupDiCreateDeviceInfoList", 1, Variant::Failure, false},
        {"SetupDiGetClassDevsW", 1, Variant::Failure, false},
        {"SetupDiGetClassDevsW", 1, Variant::Unusable, false},
        {"SetupDiEnumDeviceInterfaces 0", 1, Variant::Failure, false},
        {"SetupDiEnumDeviceInterfaces 0", 2, Variant::Failure, true},  // after the one found
        {"SetupDiGetDeviceInterfaceDetailW size", 1, Variant::Unusable, false},
        {"SetupDiDeleteDeviceInterfaceData", 1, Variant::Failure, true},
        {"SetupDiDestroyDeviceInfoList spare", 1, Variant::Failure, true},
        {"CreateFileW", 1, Variant::Failure, false},
        {"DeviceIoControl 0x001D6070", 1, Variant::Unusable, false},  // no bytes: mask 0
        {"CloseHandle", 1, Variant::Failure, true},
        {"CoCreateInstance(MMDeviceEnumerator)", 1, Variant::Failure, false},  // the inventory's
        {"LoadLibraryW(XANPropPageExt.dll)", 1, Variant::Failure, false},
        {"GetProcAddress(HDAudVistaNeo6)", 1, Variant::Failure, false},
        {"GetProcAddress(Set_XAN_KaraokeDMicVolume)", 1, Variant::Failure, false},
        {"IMMDeviceEnumerator::EnumAudioEndpoints", 1, Variant::Failure, false},  // render
        {"IMMDeviceEnumerator::EnumAudioEndpoints", 2, Variant::Unusable, true},  // capture
        {"IMMDeviceCollection::Item", 1, Variant::Unusable, false},  // the speakers, removed
        {"IMMDeviceCollection::Item", 2, Variant::Failure, true},    // the headphones
        {"IMMDevice::GetId", 1, Variant::Failure, false},
        {"IMMDevice::GetId", 1, Variant::Unusable, false},  // the store of an empty id
        {"EndpointStore::GetValue {A45C254E},14", 1, Variant::Failure, false},  // not the maker's
        {"EndpointStore::GetValue {A45C254E},2", 1, Variant::Failure, true},
        {"IKsJackDescription::GetJackDescription", 1, Variant::Unusable, true},
        {"IMMDevice::GetState", 1, Variant::Failure, false},
        {"FreeLibrary(XANPropPageExt.dll)", 1, Variant::Failure, true},
        {"CoCreateInstance(MMDeviceEnumerator)", 2, Variant::Failure, true},  // registration's
        {"IMMDeviceEnumerator::RegisterEndpointNotificationCallback", 1, Variant::Failure, true},
        {"IMMDeviceEnumerator::GetDevice", 1, Variant::Unusable, false},  // no device
        {"GetVersionExW", 1, Variant::Failure, true},                     // asked again
        {"GetVersionExW", 1, Variant::Unusable, false},                   // 6.2
        {"FxStoreAccess::OpenFxStore", 1, Variant::Failure, false},
    };
    for (const auto& c : cases) {
        RunPlan plan = PlanWith(Machine(false), c.call, Part::StartUp, 0, c.nth, c.variant);
        EXPECT_EQ(c.carriesOn, plan.sheetShown)
            << c.call << " (" << c.nth << ")" << (c.variant == Variant::Unusable ? " unusable" : "")
            << ": " << plan.ended;
        EXPECT_EQ(c.carriesOn, plan.ended.empty()) << c.call;
    }
}

// A look-up that fails does not stop the others; the library is then unloaded, and start-up makes
// no call more.
TEST(ScriptModel, AMissingExportStillLooksUpTheRestThenUnloadsTheLibrary) {
    RunPlan plan = PlanWith(Machine(false), "GetProcAddress(HDAudVistaNeo6)", Part::StartUp, 0);
    std::vector<std::string> calls = CallsOf(plan, Part::StartUp);
    EXPECT_EQ("FreeLibrary(XANPropPageExt.dll)", calls.back());
    EXPECT_EQ("GetProcAddress(Set_XAN_KaraokeDMicVolume)", calls[calls.size() - 2]);
    EXPECT_EQ("an export of the extension library is missing", plan.ended);
    EXPECT_TRUE(CallsOf(plan, Part::PageStart).empty());
}

// An inventory item whose id cannot be had is skipped: its names and form factor are not read,
// and the next item comes.
TEST(ScriptModel, AnItemWhoseIdCannotBeHadIsSkipped) {
    RunPlan faultFree = sweep::PlanRun(Machine(false), std::nullopt);
    RunPlan plan = PlanWith(Machine(false), "IMMDevice::GetId", Part::StartUp, 0, 2);
    size_t failed = CallNumber(faultFree, "IMMDevice::GetId", Part::StartUp, 0, 2);
    ASSERT_LT(failed, plan.calls.size());
    EXPECT_EQ("IMMDeviceCollection::Item", plan.calls[failed].name);
    EXPECT_TRUE(plan.sheetShown);
    EXPECT_EQ(faultFree.calls.size() - 6, plan.calls.size());  // a store and a read per name
}

// A second start leaves a person's words alone, whichever read of the start fails; a command
// whose read fails builds on the page's last reading of the person's word.
TEST(ScriptModel, ASecondStartKeepsThePersonsWordsWhateverReadFails) {
    const struct {
        const char* what;
        const char* call;
        Part part;
        size_t step;
    } cases[] = {
        {"the marker", "FxStore::GetValue {A6F29F8F},2", Part::PageStart, 0},
        {"the headphone word", "FxStore::GetValue {729AD972},0", Part::PageStart, 0},
        {"Natural Bass in its click", "FxStore::GetValue {50AF0471},0", Part::Step, 1},
    };
    for (const auto& c : cases) {
        RunPlan plan = PlanWith(Machine(true), c.call, c.part, c.step);
        EXPECT_TRUE(plan.parts[0].empty()) << c.what;
        EXPECT_EQ(std::vector<DWORD>{0x0000622A}, WordsOf(plan.parts[2], keys::NaturalBass))
            << c.what;
    }
    // The selector goes back for a headphone word read as off, one that is not there included.
    sim::machine::MachineState off = Machine(true);
    sim::machine::EndpointState* speakers = off.Find(sweep::kSpeakers);
    sim::machine::PutEntry(speakers->fx, keys::Headphone, Value::UInt32(0x00000321));
    EXPECT_EQ(std::vector<DWORD>{2},
              WordsOf(sweep::PlanRun(off, std::nullopt).parts[0], keys::HeadphoneSelector));
    RunPlan unread = PlanWith(Machine(true), "FxStore::GetValue {729AD972},0", Part::PageStart, 0,
                              1, Variant::Unusable);
    EXPECT_EQ(std::vector<DWORD>{2}, WordsOf(unread.parts[0], keys::HeadphoneSelector));
}

// A command's write that fails leaves the stored word, so the next command builds on it: the
// slide after a failed Natural Bass click keeps the effect on (0x80003313, not 0x00003313).
TEST(ScriptModel, AFailedWriteLeavesTheStoredWordForTheNextCommand) {
    const struct {
        const char* call;
        Variant variant;
        std::vector<DWORD> clickWrites;  // tried by the click, step 2
        bool clickLands;
    } cases[] = {
        {"AudioEndpointConfig::WriteEndpointProperty {50AF0471},0",
         Variant::Failure,
         {0x00003513},
         false},
        {"IMMDevice::GetId", Variant::Failure, {}, false},
        // An empty device id reaches the service, which refuses the write.
        {"IMMDevice::GetId", Variant::Unusable, {0x00003513}, false},
        {"CoCreateInstance(AudioEndpointConfig)", Variant::Failure, {}, false},
        // A failed version query is asked again with the plain structure.
        {"GetVersionExW", Variant::Failure, {0x00003513}, true},
        {"GetVersionExW", Variant::Unusable, {}, false},
    };
    for (const auto& c : cases) {
        RunPlan plan = PlanWith(Machine(false), c.call, Part::Step, 1, 1, c.variant);
        const std::vector<IntendedWrite>& click = plan.parts[2];
        std::string what =
            std::string(c.call) + (c.variant == Variant::Unusable ? " unusable" : "");
        EXPECT_EQ(c.clickWrites, WordsOf(click, keys::NaturalBass)) << what;
        for (const IntendedWrite& write : click) {
            EXPECT_EQ(c.clickLands, write.accepted) << what;
        }
        EXPECT_EQ(std::vector<DWORD>{c.clickLands ? 0x00003313u : 0x80003313u},
                  WordsOf(plan.parts[3], keys::NaturalBass))
            << what;
    }
}

// A command builds only on an integer: a Natural Bass word stored as a five-byte blob reads as 5,
// shows off, and the click that switches it on builds on the word's default, not on the blob's
// count (0x80000005).
TEST(ScriptModel, ACommandBuildsOnlyOnAnInteger) {
    sim::machine::MachineState blob = Machine(true);
    sim::machine::PutEntry(blob.Find(sweep::kSpeakers)->fx, keys::NaturalBass,
                           Value::BlobObject({0x13, 0x35, 0, 0x80, 0}));
    RunPlan plan = sweep::PlanRun(blob, std::nullopt);
    EXPECT_EQ(std::vector<DWORD>{0x80003513}, WordsOf(plan.parts[2], keys::NaturalBass));
}

// A marker read that succeeds with nothing is a store without a marker: met for the first time.
TEST(ScriptModel, AMarkerReadAsNothingIsAFirstRun) {
    RunPlan plan = PlanWith(Machine(true), "FxStore::GetValue {A6F29F8F},2", Part::PageStart, 0, 1,
                            Variant::Unusable);
    const std::vector<IntendedWrite>& start = plan.parts[0];
    EXPECT_EQ(std::vector<DWORD>{0}, WordsOf(start, keys::FirstRunMarker));
    EXPECT_EQ(std::vector<DWORD>{0x80003513}, WordsOf(start, keys::NaturalBass));
}

// A first run whose defaults did not land (no device of the page's own, or the expander's default
// refused) still shows them: the first click switches the expander off, with no format check at
// 96000 Hz. Shown off, the click would force the format and write 0x80000001. With no device
// nothing is written, so no refresh comes either, and Natural Bass, still shown on, goes off too.
TEST(ScriptModel, AFirstRunDefaultThatDidNotLandIsStillShown) {
    RunPlan noDevice = PlanWith(Machine(false), "IMMDeviceEnumerator::GetDevice", Part::PageStart,
                                0, 2, Variant::Unusable);
    RunPlan refused =
        PlanWith(Machine(false), "AudioEndpointConfig::WriteEndpointProperty {B36ED2B1},0",
                 Part::PageStart, 0);
    for (const RunPlan* plan : {&noDevice, &refused}) {
        EXPECT_TRUE(CallNumber(*plan, kFormatRead, Part::Step, 0) == 0);
        EXPECT_EQ(plan == &noDevice ? std::vector<DWORD>{} : std::vector<DWORD>{0x00000001},
                  WordsOf(plan->parts[1], keys::SoundSpaceExpander));
    }
    EXPECT_TRUE(CallNumber(noDevice, kFormatRead, Part::Step, 1) == 0);
}

// Vista's objects: the store by the Vista accessor, the words through the Vista configuration
// object's slots, 11 for a property and 5 for the format.
TEST(ScriptModel, OnWindowsSixZeroTheVistaObjectsWrite) {
    RunPlan plan = sweep::PlanRun(Machine(false, sweep::Windows::Vista), std::nullopt);
    ASSERT_TRUE(plan.sheetShown);
    for (size_t part = 0; part < plan.parts.size(); ++part) {
        for (const IntendedWrite& write : plan.parts[part]) {
            if (write.origin == sim::audio::WriteOrigin::ConfigVista) {
                bool format = IsEqualPropertyKey(write.key, PKEY_AudioEngine_DeviceFormat);
                EXPECT_EQ(format ? 5 : 11, write.slot) << part;
            } else {
                EXPECT_TRUE(write.origin == sim::audio::WriteOrigin::FxStoreHandle ||
                            write.origin == sim::audio::WriteOrigin::OutsideProgram)
                    << part;
            }
        }
    }
}

}  // namespace
