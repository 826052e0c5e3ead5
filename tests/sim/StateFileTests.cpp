// The bench's state file, its watcher and the reloading of a running bench.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/machine/Bench.h"
#include "sim/machine/EffectKeys.h"
#include "sim/machine/StateFile.h"

namespace {

namespace keys = sim::keys;
using sim::audio::Store;
using sim::audio::Value;
using sim::machine::MachineState;
using sim::machine::StateFile;

constexpr wchar_t kSpeakers[] = L"{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}";

// A fresh folder of the test's own, removed with what it holds.
class StateFileTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"halvo-state-" + std::to_wstring(::GetCurrentProcessId()) +
                 L"-" + std::to_wstring(::GetTickCount());
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        path = folder + L"\\state.json";
    }
    void TearDown() override {
        ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(folder.c_str());
    }
    bool OnDisk() const { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::wstring folder, path;
};

TEST_F(StateFileTest, OnlyLoadOrMakeAndSaveMakeAMissingFile) {
    StateFile file(path);
    MachineState state;
    std::string error;
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(file.Load(&state, &error));
    EXPECT_NE(std::string::npos, error.find("state.json")) << error;
    error.clear();
    EXPECT_FALSE(file.Update([](MachineState&) { return true; }, &error));
    EXPECT_NE(std::string::npos, error.find("state.json")) << error;
    EXPECT_FALSE(OnDisk());

    ASSERT_TRUE(file.LoadOrMake(&state, &error)) << error;
    EXPECT_TRUE(OnDisk());
    EXPECT_EQ(sim::machine::ToJson(sim::machine::DefaultMachine()), sim::machine::ToJson(state));
    ASSERT_TRUE(file.Update(
        [](MachineState& s) {
            s.driver.policy = 7;
            return true;
        },
        &error));
    ASSERT_TRUE(file.Load(&state, &error));
    EXPECT_EQ(7u, state.driver.policy);
}

TEST_F(StateFileTest, APathThatCannotHoldTheFileIsRefused) {
    std::string error;
    EXPECT_TRUE(StateFile(path).Usable(&error)) << error;
    for (const std::wstring& bad : {folder + L"\\missing\\state.json", folder}) {
        error.clear();
        EXPECT_FALSE(StateFile(bad).Usable(&error, false));
        EXPECT_FALSE(error.empty());
    }
    // The path is held whole, whatever the current directory becomes.
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ::SetCurrentDirectoryW(folder.c_str());
    StateFile relative(L"state.json");
    ::SetCurrentDirectoryW(before);
    EXPECT_EQ(path, relative.Path());
}

TEST_F(StateFileTest, WithoutItsLockNothingIsReadOrWritten) {
    std::string error;
    {
        MachineState state;
        ASSERT_TRUE(StateFile(path).LoadOrMake(&state, &error));
    }
    // Another object holds the lock's name: the lock cannot be made.
    HANDLE squatter = ::CreateEventW(nullptr, TRUE, FALSE, StateFile::LockName(path).c_str());
    ASSERT_NE(nullptr, squatter);
    StateFile file(path);
    MachineState state;
    EXPECT_FALSE(file.Usable(&error));
    EXPECT_FALSE(file.Load(&state, &error));
    EXPECT_FALSE(file.LoadOrMake(&state, &error));
    bool changed = false;
    EXPECT_FALSE(file.Update(
        [&](MachineState&) {
            changed = true;
            return true;
        },
        &error));
    EXPECT_FALSE(changed);
    EXPECT_FALSE(file.Save(state, &error));
    ::CloseHandle(squatter);
}

TEST_F(StateFileTest, UpdatesFromTwoHoldersAreAllKept) {
    std::string error;
    MachineState state;
    ASSERT_TRUE(StateFile(path).LoadOrMake(&state, &error));
    auto bump = [&] {
        StateFile file(path);  // as another process would
        for (int i = 0; i < 25; ++i) {
            std::string problem;
            EXPECT_TRUE(file.Update(
                [](MachineState& s) {
                    ++s.driver.policy;
                    return true;
                },
                &problem))
                << problem;
        }
    };
    std::thread a(bump), b(bump);
    a.join();
    b.join();
    ASSERT_TRUE(StateFile(path).Load(&state, &error));
    EXPECT_EQ(state.driver.policy, sim::machine::DefaultMachine().driver.policy + 50);
}

TEST_F(StateFileTest, TheWatcherCallsBackAfterAWriteAndNeverOnceGone) {
    std::atomic<int> calls{0};
    {
        sim::machine::StateWatcher watcher(path, [&] { ++calls; });
        ::Sleep(100);
        MachineState state;
        std::string error;
        ASSERT_TRUE(StateFile(path).LoadOrMake(&state, &error));
        for (int i = 0; i < 200 && calls == 0; ++i) {
            ::Sleep(10);
        }
        EXPECT_GT(calls.load(), 0);
    }
    int after = calls;
    std::string error;
    ASSERT_TRUE(StateFile(path).Save(sim::machine::DefaultMachine(), &error));
    ::Sleep(300);
    EXPECT_EQ(after, calls.load());
}

TEST(MachineFile, NumbersOutOfTheirRangeAreRefusedWithTheKeysName) {
    auto file = [](const std::string& windows, const std::string& driver, const std::string& fx) {
        return "{\"windows\": \"" + windows + "\", \"driver\": {\"interfaces\": [], " + driver +
               "}, \"endpoints\": [{\"id\": \"x\", \"fx\": {" + fx + "}}]}";
    };
    const std::string good =
        "\"policy\": 1, \"jack\": 16, \"retasking\": [1, 1], \"chipRetasking\": [3, 3], "
        "\"effectSupport\": 8";
    MachineState state;
    std::string error;
    ASSERT_TRUE(sim::machine::FromJson(file("6.1", good, ""), &state, &error)) << error;
    const std::pair<std::string, std::string> bad[] = {
        {file("6.1x", good, ""), "windows"},
        {file("6", good, ""), "windows"},
        {file("6.1.2", good, ""), "windows"},
        {file("-6.1", good, ""), "windows"},
        {file("6.1", "\"policy\": 4294967296" + good.substr(good.find(',')), ""), "policy"},
        {file("6.1", "\"policy\": -1" + good.substr(good.find(',')), ""), "policy"},
        {file("6.1",
              "\"policy\": 1, \"jack\": 65536, \"retasking\": [1, 1], \"chipRetasking\": [3, 3], "
              "\"effectSupport\": 8",
              ""),
         "jack"},
        {file("6.1",
              "\"policy\": 1, \"jack\": 0, \"retasking\": [1.5, 1], \"chipRetasking\": [3, 3], "
              "\"effectSupport\": 8",
              ""),
         "retasking"},
        {file("6.1", good, "\"PKEY_Xan_NaturalBass\": 4294967296"), "PKEY_Xan_NaturalBass"},
        {file("6.1", good, "\"PKEY_Xan_ModeWord\": {\"vt\": 2, \"value\": 65536}"),
         "PKEY_Xan_ModeWord"},
        {file("6.1", good, "\"PKEY_Xan_LevelWord\": {\"blob\": \"0g\"}"), "PKEY_Xan_LevelWord"},
    };
    for (const auto& [text, name] : bad) {
        error.clear();
        EXPECT_FALSE(sim::machine::FromJson(text, &state, &error)) << text;
        EXPECT_NE(std::string::npos, error.find(name)) << text << " -> " << error;
    }
}

// The program's own write must survive a reload of a state read before it was recorded.
TEST_F(StateFileTest, AReloadNeverPutsBackAnOlderValueOverTheProgramsWrite) {
    MachineState before = sim::machine::DefaultMachine();
    sim::machine::PutEntry(before.Find(kSpeakers)->fx, keys::NaturalBass, Value::UInt32(0x3513));
    StateFile file(path);
    std::string error;
    ASSERT_TRUE(file.Save(before, &error));
    {
        sim::machine::Bench bench(before);
        bench.RecordWritesTo(file);
        PROPVARIANT word;
        PropVariantInit(&word);
        word.vt = VT_UI4;
        word.ulVal = 0x80003213;
        ASSERT_EQ(S_OK, bench.Service().Write(sim::audio::WriteOrigin::Config7, 12, Store::Fx,
                                              kSpeakers, keys::NaturalBass, word));
        // A state read before the write, with another program's change of another word.
        MachineState stale = before;
        sim::machine::PutEntry(stale.Find(kSpeakers)->fx, keys::ModeWord, Value::UInt32(0x11));
        bench.Apply(stale);
        EXPECT_EQ(Value::UInt32(0x80003213),
                  *bench.Service().Property(Store::Fx, kSpeakers, keys::NaturalBass));
        EXPECT_EQ(Value::UInt32(0x11),
                  *bench.Service().Property(Store::Fx, kSpeakers, keys::ModeWord));
        // The file has the write; reading it again changes nothing.
        ASSERT_TRUE(bench.ReloadFrom(file, &error)) << error;
        EXPECT_EQ(Value::UInt32(0x80003213),
                  *bench.Service().Property(Store::Fx, kSpeakers, keys::NaturalBass));
        bench.Service().FlushNotifications();
    }
    MachineState after;
    ASSERT_TRUE(file.Load(&after, &error));
    EXPECT_EQ(Value::UInt32(0x80003213),
              sim::machine::FindEntry(after.Find(kSpeakers)->fx, keys::NaturalBass)->value);
}

}  // namespace
