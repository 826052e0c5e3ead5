// The start-up check against simulated machines: the line each test prints, the advice of the
// first that fails, the exit code, the program's order, and that it leaves nothing behind and
// writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/CheckReport.h"
#include "check/StartupCheck.h"
#include "driver/InstalledEffects.h"
#include "framework/CCoInitialize.h"
#include "framework/CComPtr.h"
#include "fxstore/FxPropertyStore.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/driver/DriverFixture.h"
#include "tests/endpoints/InventoryFixture.h"
#include "tests/support/BuildTree.h"

namespace {

namespace op = sim::audio::op;

constexpr wchar_t kSpeakers[] = L"{0.0.0.00000000}.{4f1e9c22-7b3a-4d05-a8e1-6c2d90b1f377}";

// The laptop: the codec with its effects, the complete library, the maker's speakers beside its
// headphones, Windows 7.
class StartupCheck : public InventoryTest {
protected:
    void SetUp() override {
        InventoryTest::SetUp();
        driver.AddInterface(kSupportedPath);
        driver.SetEffectSupport(0x8);
        Add(L"headphones", eRender, DEVICE_STATE_UNPLUGGED,
            L"Headphones (XAN High Definition Audio)", L"Headphones", Headphones);
        Add(kSpeakers, eRender, DEVICE_STATE_ACTIVE, L"Speakers (XAN High Definition Audio)",
            L"Speakers", Speakers);
    }
    void TearDown() override {
        EXPECT_EQ("", driver.Leftovers());
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << "library left loaded";
        EXPECT_TRUE(sim->Writes().empty())
            << "the check wrote " << sim->Writes().size() << " value(s)";
        InventoryTest::TearDown();
    }

    // Runs the check; its lines land in `lines`.
    int Check() {
        lines.clear();
        CCheckReport report([this](const std::wstring& line) { lines.push_back(line); });
        return RunStartupChecks(report);
    }

    // The line of one test ("3 extension library: ..."), and the line after it.
    std::wstring Line(int test) const {
        std::wstring start = std::to_wstring(test) + L" ";
        for (const std::wstring& line : lines) {
            if (line.rfind(start, 0) == 0) {
                return line;
            }
        }
        return L"(no line for test " + std::to_wstring(test) + L")";
    }
    std::wstring After(int test) const {
        std::wstring line = Line(test);
        auto at = std::find(lines.begin(), lines.end(), line);
        return at != lines.end() && at + 1 != lines.end() ? *(at + 1) : L"";
    }
    int AdviceLines() const {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const auto& line) {
            return line.rfind(L"  What to do: ", 0) == 0;
        }));
    }
    static bool Contains(const std::wstring& text, const std::wstring& part) {
        return text.find(part) != std::wstring::npos;
    }

    sim::ScopedWindowsVersion windows{6, 1};
    sim::driver::ScopedCodecDriver driver;
    std::vector<std::wstring> lines;
};

TEST_F(StartupCheck, OnTheLaptopEveryTestPassesAndTheSheetWouldShow) {
    EXPECT_EQ(0, Check());
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ(L"Halvo Setting start-up check 1.0.0.1", lines[0]);
    EXPECT_EQ(L"1 codec driver: OK, found " + kSupportedPath, lines[1]);
    EXPECT_EQ(L"2 effect set: OK, the driver reports the Halvo effects installed (0x00000008)",
              lines[2]);
    EXPECT_EQ(0u, lines[3].rfind(L"3 extension library: OK, loaded ", 0)) << lines[3];
    EXPECT_TRUE(Contains(lines[3], L"\\sim\\extension\\full\\XANPropPageExt.dll")) << lines[3];
    EXPECT_EQ(L"4 library exports: OK, all 91 names found", lines[4]);
    EXPECT_EQ(std::wstring(L"5 speaker endpoint: OK, \"Speakers (XAN High Definition Audio)\", "
                           L"active, id ") +
                  kSpeakers,
              lines[5]);
    EXPECT_EQ(L"6 Windows version: OK, 6.1 (Windows 7)", lines[6]);
    EXPECT_EQ(L"7 FX store: OK, the endpoint's effect store opens read-only", lines[7]);
    EXPECT_EQ(L"Result: Halvo Setting would show its sheet.", lines[8]);
}

// The checker makes the program's calls in the program's order: the probe, then the FX store.
// It may ask more on the way (the endpoint's state and the version again, to print them).
TEST_F(StartupCheck, MakesTheProgramsCallsInItsOrder) {
    WCHAR endpointId[260] = {};
    sim::call_sweep::StartCounting();
    ASSERT_TRUE(GetInstalledSoundeffects(endpointId));
    {
        CCoInitialize multithreaded(COINIT_MULTITHREADED);
        CComPtr<IPropertyStore> fxStore;
        CCoInitialize apartment(COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(endpointId, &fxStore)));
    }
    std::vector<std::string> program = sim::call_sweep::Calls();
    sim::call_sweep::StartCounting();
    EXPECT_EQ(0, Check());
    std::vector<std::string> checker = sim::call_sweep::Calls();
    sim::call_sweep::Stop();

    ASSERT_GT(program.size(), 10u);
    size_t matched = 0;
    for (const std::string& call : checker) {
        if (matched < program.size() && call == program[matched]) {
            ++matched;
        }
    }
    EXPECT_EQ(program.size(), matched)
        << "the program's call " << matched << " ("
        << (matched < program.size() ? program[matched] : "") << ") is not made in its place";
}

// On every machine the check says the sheet would show exactly when the program's own start-up
// gets as far: its probe finds the endpoint and the endpoint's FX store opens. An endpoint id may
// be empty: the service, not the program, decides what an id is.
TEST_F(StartupCheck, AgreesWithTheProgramsStartUp) {
    struct Machine {
        const char* name;
        std::function<void()> change;
    };
    std::optional<ScopedDllDirectory> library;
    std::optional<sim::ScopedWindowsVersion> version;
    const Machine machines[] = {
        {"the laptop", [] {}},
        {"no codec", [&] { driver.ClearInterfaces(); }},
        {"bit 3 clear", [&] { driver.SetEffectSupport(0x7); }},
        {"no library", [&] { library.emplace(ExtensionVariantDir(L"none")); }},
        {"a name missing", [&] { library.emplace(ExtensionVariantDir(L"missing-middle")); }},
        {"no speakers", [&] { sim->RemoveEndpoint(kSpeakers); }},
        {"Windows 6.0", [&] { version.emplace(6, 0); }},
        {"Windows 6.2", [&] { version.emplace(6, 2); }},
        {"a store that does not open", [&] { sim->FailOn(op::OpenFxStore, E_FAIL); }},
        {"speakers with an empty id",
         [&] {
             sim->RemoveEndpoint(kSpeakers);
             Add(L"", eRender, DEVICE_STATE_ACTIVE, L"Speakers (XAN High Definition Audio)",
                 L"Speakers", Speakers);
         }},
    };
    for (const Machine& machine : machines) {
        SCOPED_TRACE(machine.name);
        machine.change();
        WCHAR endpointId[260] = {};
        bool shows = GetInstalledSoundeffects(endpointId);
        if (shows) {
            CCoInitialize multithreaded(COINIT_MULTITHREADED);
            CComPtr<IPropertyStore> fxStore;
            shows = SUCCEEDED(OpenFxPropertyStore(endpointId, &fxStore));
        }
        int code = Check();
        EXPECT_EQ(shows, code == 0) << "exit code " << code;
        // A test is left out only for want of what an earlier, failed test should have given.
        bool failed = false;
        for (const std::wstring& line : lines) {
            EXPECT_TRUE(failed || !Contains(line, L": NOT CHECKED, "))
                << testing::PrintToString(line);
            failed = failed || Contains(line, L": FAILED, ");
        }
        // Back to the laptop. (Letting go of a library folder clears the search's folder.)
        library.emplace(ExtensionVariantDir(L"full"));
        version.reset();
        sim->ClearFailures();
        driver.ClearInterfaces();
        driver.AddInterface(kSupportedPath);
        driver.SetEffectSupport(0x8);
        if (sim->HasEndpoint(L"")) {
            sim->RemoveEndpoint(L"");
        }
        if (!sim->HasEndpoint(kSpeakers)) {
            Add(kSpeakers, eRender, DEVICE_STATE_ACTIVE, L"Speakers (XAN High Definition Audio)",
                L"Speakers", Speakers);
        }
    }
}

TEST_F(StartupCheck, WithoutTheDriverTheFirstTestFailsWithItsAdvice) {
    driver.ClearInterfaces();
    EXPECT_EQ(1, Check());
    EXPECT_EQ(L"1 codec driver: FAILED, no supported HD Audio codec with its driver found",
              Line(1));
    EXPECT_EQ(
        L"  What to do: install the audio driver from the computer's maker (the HD Audio "
        L"codec driver Halvo Setting works with), restart Windows, then run HalvoCheck "
        L"again.",
        After(1));
    EXPECT_EQ(L"2 effect set: NOT CHECKED, needs the codec driver", Line(2));
    // The rest is still made, so one run shows everything that is wrong.
    EXPECT_EQ(L"4 library exports: OK, all 91 names found", Line(4));
    EXPECT_EQ(L"7 FX store: OK, the endpoint's effect store opens read-only", Line(7));
    EXPECT_EQ(L"Result: Halvo Setting would end without a window (test 1 failed).", lines.back());
    EXPECT_EQ(0, driver.Count("CreateFileW"));
}

// A codec the program does not support is no codec to it.
TEST_F(StartupCheck, AnUnsupportedCodecIsNotFound) {
    driver.ClearInterfaces();
    driver.AddInterface(CodecPath(L"ven_9e5b&dev_0616"));
    EXPECT_EQ(1, Check());
    EXPECT_EQ(L"1 codec driver: FAILED, no supported HD Audio codec with its driver found",
              Line(1));
}

TEST_F(StartupCheck, ADeviceListThatCannotBeMadeFailsTheFirstTest) {
    driver.Fail(Step::CreateSpareSet);
    EXPECT_EQ(1, Check());
    EXPECT_EQ(L"1 codec driver: FAILED, the list of devices could not be read", Line(1));
    EXPECT_EQ(L"2 effect set: NOT CHECKED, needs the codec driver", Line(2));
}

TEST_F(StartupCheck, AnEffectSetWithoutBit3FailsTheSecondTest) {
    driver.SetEffectSupport(0x7);
    EXPECT_EQ(2, Check());
    EXPECT_EQ(
        L"2 effect set: FAILED, the driver reports 0x00000007: bit 3, the Halvo effects, "
        L"is not set (0 also when the driver did not answer)",
        Line(2));
    EXPECT_EQ(
        L"  What to do: install the maker's audio driver package that includes the Halvo "
        L"effects; the driver installed now does not offer them.",
        After(2));
    EXPECT_EQ(L"Result: Halvo Setting would end without a window (test 2 failed).", lines.back());
}

TEST_F(StartupCheck, ASupportQueryThatFailsReadsAsNothingInstalled) {
    driver.FailControl(control::EffectSupport);
    EXPECT_EQ(2, Check());
    EXPECT_TRUE(Contains(Line(2), L"FAILED, the driver reports 0x00000000")) << Line(2);
}

TEST_F(StartupCheck, WithoutTheLibraryTheThirdTestFailsWithItsAdvice) {
    ScopedDllDirectory nowhere(ExtensionVariantDir(L"none").c_str());
    EXPECT_EQ(3, Check());
    EXPECT_EQ(
        L"3 extension library: FAILED, XANPropPageExt.dll was not found on the library "
        L"search path",
        Line(3));
    EXPECT_EQ(
        L"  What to do: put XANPropPageExt.dll in the folder of HalvoSetting.exe or in a "
        L"folder on the PATH. HalvoCheck looks where the program looks when both are in "
        L"one folder.",
        After(3));
    EXPECT_EQ(L"4 library exports: NOT CHECKED, needs the extension library", Line(4));
    EXPECT_TRUE(Contains(Line(5), L"5 speaker endpoint: OK")) << Line(5);
}

TEST_F(StartupCheck, ADefectiveLibraryFailsTheFourthTestNamingTheMissingExport) {
    const struct {
        const wchar_t* variant;
        const wchar_t* missing;
    } cases[] = {{L"missing-last", L"Set_XAN_KaraokeDMicVolume"},
                 {L"missing-middle", L"Set_XAN_LOUDNESS_EQUAL"},
                 {L"wrong-case", L"Set_XAN_HPP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "variant " << testing::PrintToString(c.variant));
        ScopedDllDirectory defective(ExtensionVariantDir(c.variant).c_str());
        EXPECT_EQ(4, Check());
        EXPECT_TRUE(Contains(Line(3), L"3 extension library: OK, loaded ")) << Line(3);
        EXPECT_EQ(std::wstring(L"4 library exports: FAILED, 1 of 91 names missing: ") + c.missing,
                  Line(4));
        EXPECT_EQ(std::wstring(L"  What to do: this XANPropPageExt.dll lacks ") + c.missing +
                      L" (names must match exactly, letter case included); put the library "
                      L"that comes with the maker's audio driver in its place.",
                  After(4));
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << "left loaded";
    }
}

// Another library under the library's name: every name is missing; the advice counts them.
TEST_F(StartupCheck, AnotherLibraryUnderThatNameLacksEveryName) {
    WCHAR temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    std::wstring folder = std::wstring(temp) + L"halvo-check-other-library";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring library = folder + L"\\XANPropPageExt.dll";
    ASSERT_TRUE(CopyFileW(BuildTreePath(L"res\\HalvoResourcesWithoutAbout.dll").c_str(),
                          library.c_str(), FALSE))
        << "error " << GetLastError();
    {
        ScopedDllDirectory other(folder);
        EXPECT_EQ(4, Check());
    }
    EXPECT_EQ(0u, Line(4).rfind(L"4 library exports: FAILED, 91 of 91 names missing: "
                                L"HDAudVistaIsFirstTimeEffectFlag, HDAudVistaEnhancements, ",
                                0))
        << Line(4);
    EXPECT_EQ(
        L"  What to do: this XANPropPageExt.dll lacks HDAudVistaIsFirstTimeEffectFlag and "
        L"90 more (names must match exactly, letter case included); put the library that "
        L"comes with the maker's audio driver in its place.",
        After(4));
    EXPECT_TRUE(DeleteFileW(library.c_str())) << "error " << GetLastError();
    RemoveDirectoryW(folder.c_str());
}

TEST_F(StartupCheck, WithoutTheMakersSpeakersTheFifthTestFails) {
    sim->RemoveEndpoint(kSpeakers);
    EXPECT_EQ(5, Check());
    EXPECT_EQ(
        L"5 speaker endpoint: FAILED, the one audio endpoint listed is not the maker's "
        L"speaker endpoint",
        Line(5));
    EXPECT_EQ(
        L"  What to do: no speaker endpoint of the maker's codec is present: check that the "
        L"computer's speakers show under Playback in the Sound control panel; if they do "
        L"not, reinstall the audio driver from the computer's maker.",
        After(5));
    EXPECT_EQ(L"7 FX store: NOT CHECKED, needs a speaker endpoint", Line(7));

    // Speakers of another maker are not what the page sets.
    Add(L"other", eRender, DEVICE_STATE_ACTIVE, L"Speakers (Other Audio)", L"Speakers", Speakers);
    EXPECT_EQ(5, Check());
    EXPECT_EQ(
        L"5 speaker endpoint: FAILED, none of the 2 audio endpoints listed is the maker's "
        L"speaker endpoint",
        Line(5));
    sim->RemoveEndpoint(L"other");
    sim->RemoveEndpoint(L"headphones");
    EXPECT_EQ(5, Check());
    EXPECT_EQ(L"5 speaker endpoint: FAILED, Windows lists no audio endpoint", Line(5));
}

TEST_F(StartupCheck, AnAudioServiceThatDoesNotAnswerFailsTheFifthTest) {
    sim->FailOn(op::CreateDeviceEnumerator, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(5, Check());
    EXPECT_EQ(L"4 library exports: OK, all 91 names found", Line(4));
    EXPECT_EQ(
        L"5 speaker endpoint: FAILED, the Windows audio endpoint service did not answer "
        L"(0x80040154)",
        Line(5));
    EXPECT_EQ(
        L"  What to do: start the Windows Audio service (or restart Windows), then run "
        L"HalvoCheck again.",
        After(5));
}

TEST_F(StartupCheck, WindowsVistaPasses) {
    sim::ScopedWindowsVersion vista(6, 0);
    EXPECT_EQ(0, Check());
    EXPECT_EQ(L"6 Windows version: OK, 6.0 (Windows Vista)", Line(6));
    EXPECT_EQ(L"7 FX store: OK, the endpoint's effect store opens read-only", Line(7));
}

TEST_F(StartupCheck, OtherWindowsVersionsFailTheSixthTest) {
    for (auto [major, minor] : {std::pair{6ul, 2ul}, {5ul, 1ul}, {10ul, 0ul}}) {
        sim::ScopedWindowsVersion other(major, minor);
        std::wstring version = std::to_wstring(major) + L"." + std::to_wstring(minor);
        SCOPED_TRACE(std::string(version.begin(), version.end()));
        EXPECT_EQ(6, Check());
        EXPECT_EQ(L"6 Windows version: FAILED, " + version +
                      L", but Halvo Setting runs on Windows Vista (6.0) and Windows 7 (6.1) only",
                  Line(6));
        EXPECT_EQ(
            L"  What to do: use Halvo Setting on 64-bit Windows Vista or Windows 7; nothing "
            L"on this computer can make it run on this version of Windows.",
            After(6));
        EXPECT_EQ(L"7 FX store: NOT CHECKED, needs Windows Vista or Windows 7", Line(7));
    }
}

TEST_F(StartupCheck, AVersionThatCannotBeReadFailsTheSixthTest) {
    sim::ScopedWindowsVersion unreadable(6, 1, sim::VersionQueryFailure::Both);
    EXPECT_EQ(6, Check());
    EXPECT_EQ(L"6 Windows version: FAILED, the version could not be read", Line(6));
    // Only the extended structure failing is no failure: the plain one answers.
    sim::ScopedWindowsVersion plainOnly(6, 1, sim::VersionQueryFailure::ExtendedOnly);
    EXPECT_EQ(0, Check());
}

TEST_F(StartupCheck, AStoreThatDoesNotOpenFailsTheSeventhTest) {
    sim->FailOn(op::OpenFxStore, E_ACCESSDENIED);
    EXPECT_EQ(7, Check());
    EXPECT_EQ(L"7 FX store: FAILED, the endpoint's effect store could not be opened (0x80070005)",
              Line(7));
    EXPECT_TRUE(Contains(After(7), L"  What to do: restart the Windows Audio service")) << After(7);
}

// Only the first failure says what to do; the exit code is its number.
TEST_F(StartupCheck, SeveralFailuresGiveTheFirstOnesNumberAndOneAdvice) {
    driver.SetEffectSupport(0);
    sim::ScopedWindowsVersion windows8(6, 2);
    ScopedDllDirectory defective(ExtensionVariantDir(L"missing-last").c_str());
    EXPECT_EQ(2, Check());
    EXPECT_EQ(1, AdviceLines());
    EXPECT_TRUE(Contains(After(2), L"  What to do: install the maker's audio driver package"));
    EXPECT_TRUE(Contains(Line(4), L"4 library exports: FAILED, 1 of 91")) << Line(4);
    EXPECT_TRUE(Contains(Line(6), L"6 Windows version: FAILED, 6.2")) << Line(6);
    EXPECT_EQ(L"Result: Halvo Setting would end without a window (test 2 failed).", lines.back());
}

// The program writes its first-run defaults into a new store; the check opens it read-only and
// writes nothing (the fixture's end checks that no value was written by any path).
TEST_F(StartupCheck, WritesNothing) {
    EXPECT_EQ(0, Check());
    EXPECT_EQ(0, sim->Calls(op::CreateEndpointConfig));
    EXPECT_EQ(0, sim->Calls(op::FxStoreSetValue));
    EXPECT_EQ(1, sim->Calls(op::OpenFxStore));
}

}  // namespace
