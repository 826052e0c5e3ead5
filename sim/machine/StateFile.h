#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "sim/machine/MachineState.h"

namespace sim::machine {

// The bench's state file. Every reader and writer, in any process, takes the file's named lock;
// a writer writes a new file beside it and puts it in place, so the file is never seen
// half-written.
class StateFile {
public:
    explicit StateFile(std::wstring path);
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;
    ~StateFile();

    const std::wstring& Path() const { return m_path; }

    // Reads the machine; a file that does not exist yet is made from the built-in laptop.
    bool Load(MachineState* state, std::string* error);
    // Reads, changes and writes back in one hold of the lock, so that a change another process
    // made meanwhile is kept.
    bool Update(const std::function<bool(MachineState&)>& change, std::string* error);
    // Replaces the whole machine.
    bool Save(const MachineState& state, std::string* error);

private:
    bool Read(MachineState* state, std::string* error);
    bool Write(const MachineState& state, std::string* error);

    std::wstring m_path;
    HANDLE m_lock;
};

// Calls back whenever the file's folder changes, from a thread of its own, until destroyed.
class StateWatcher {
public:
    StateWatcher(const std::wstring& path, std::function<void()> changed);
    StateWatcher(const StateWatcher&) = delete;
    StateWatcher& operator=(const StateWatcher&) = delete;
    ~StateWatcher();

private:
    HANDLE m_stop;
    std::thread m_thread;
};

}  // namespace sim::machine
