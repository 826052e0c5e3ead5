#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "sim/audio/AudioService.h"
#include "sim/driver/CodecDriver.h"
#include "sim/machine/MachineState.h"
#include "sim/machine/StateFile.h"
#include "sim/platform/WindowsVersion.h"
#include "sim/platform/Locks.h"

namespace sim::machine {

// The simulated machine, live: the audio service, the codec driver and the Windows version set up
// from a state, for the program's own code to run against. Runs on a thread in the
// multithreaded apartment.
class Bench {
public:
    explicit Bench(const MachineState& state);
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;
    ~Bench();

    audio::AudioService& Service() { return *m_service; }
    driver::ScopedCodecDriver& Driver() { return *m_driver; }

    // Brings the machine in line with a state read again after another program changed the file.
    // Only a value that changed since the last state applied, and differs from what the machine
    // holds, is taken in, as that program would change it; a changed jack is announced. So a
    // state read before the program's own newer write never puts the older value back.
    void Apply(const MachineState& state);
    // Reads the file again and applies it.
    bool ReloadFrom(StateFile& file, std::string* error);

    // From now on every value the program writes lands in the file, with its place in the log.
    void RecordWritesTo(StateFile& file);

    // The program's first write of the key (recorded in the file first) returns only once another
    // program has changed a value, and its notification has gone out, or after ten seconds: a
    // change that lands at that very moment of the program's run.
    void HoldAfterFirstWrite(const PROPERTYKEY& key);

private:
    void ApplyDriver(const DriverState& driver);
    void HoldIfDue(const audio::WriteRecord& write);

    std::shared_ptr<audio::AudioService> m_service;
    std::unique_ptr<driver::ScopedCodecDriver> m_driver;
    std::unique_ptr<ScopedWindowsVersion> m_version;
    OwnedMutex m_mutex;      // Apply runs on the watcher's thread
    MachineState m_applied;  // the state last applied
    std::optional<PROPERTYKEY> m_holdAfter;
    HANDLE m_changedFromOutside;  // set by Apply when it changed a value
};

}  // namespace sim::machine
