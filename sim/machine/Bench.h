#pragma once

#include <memory>
#include <mutex>

#include "sim/audio/AudioService.h"
#include "sim/driver/CodecDriver.h"
#include "sim/machine/MachineState.h"
#include "sim/machine/StateFile.h"
#include "sim/platform/WindowsVersion.h"

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

    // Brings the machine in line with a state read again after another program changed the file:
    // changed values are changed as that program would, and a changed jack is announced.
    void Apply(const MachineState& state);

    // From now on every value the program writes lands in the file, with its place in the log.
    void RecordWritesTo(StateFile& file);

private:
    void ApplyDriver(const DriverState& driver);

    std::shared_ptr<audio::AudioService> m_service;
    std::unique_ptr<driver::ScopedCodecDriver> m_driver;
    std::unique_ptr<ScopedWindowsVersion> m_version;
    std::mutex m_mutex;  // Apply runs on the watcher's thread
    DriverState m_driverState;
};

}  // namespace sim::machine
