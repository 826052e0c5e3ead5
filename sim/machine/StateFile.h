#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "sim/machine/MachineState.h"

namespace sim::machine {

// The bench's state file. Every reader and writer, in any process, takes the file's named lock;
// a writer writes a new file beside it and puts it in place, so the file is never seen
// half-written. Without its lock nothing is read or written. Only LoadOrMake and Save make a
// file that is not there: any other use of a missing file fails and names it, so that a
// mistyped path never changes a machine nobody runs.
class StateFile {
public:
    // The path is made absolute at once: the file stays the same whatever the current
    // directory later becomes.
    explicit StateFile(const std::wstring& path);
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;
    ~StateFile();

    const std::wstring& Path() const { return m_path; }

    // Whether the path can hold the file: its folder exists, it names no folder itself, and
    // (for a writer) a file can be written beside it. Says why not.
    bool Usable(std::string* error, bool forWriting = true) const;
    bool Exists() const;

    // Reads the machine.
    bool Load(MachineState* state, std::string* error);
    // The same; a file that does not exist yet is made from the built-in laptop.
    bool LoadOrMake(MachineState* state, std::string* error);
    // Reads, changes and writes back in one hold of the lock, so that a change another process
    // made meanwhile is kept.
    bool Update(const std::function<bool(MachineState&)>& change, std::string* error);
    // Replaces the whole machine, making the file if need be.
    bool Save(const MachineState& state, std::string* error);

    // The name of the lock every process takes for the file at this path.
    static std::wstring LockName(const std::wstring& path);

private:
    bool Read(MachineState* state, bool makeMissing, std::string* error);
    bool Write(const MachineState& state, std::string* error);
    std::string Named(const std::string& problem) const;

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
