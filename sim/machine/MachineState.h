#pragma once

#include <windows.h>
#include <devicetopology.h>
#include <mmdeviceapi.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/audio/Value.h"

// The simulated machine as the bench keeps it in its state file: the Windows version, the codec
// driver's answers, the audio endpoints with both property stores, and the log of the program's
// writes. docs/state-file.md describes the file.
namespace sim::machine {

struct DriverState {
    std::vector<std::wstring> interfaces;  // device paths of the private class
    DWORD policy = 0;
    WORD jack = 0;
    DWORD retasking[2] = {1, 1};
    DWORD chipRetasking[2] = {3, 3};
    DWORD effectSupport = 0x8;
};

struct PropertyEntry {
    PROPERTYKEY key;
    audio::Value value;
};

struct EndpointState {
    std::wstring id;
    EDataFlow flow = eRender;
    DWORD state = DEVICE_STATE_ACTIVE;
    std::vector<PropertyEntry> properties;  // the endpoint's own store
    std::vector<PropertyEntry> fx;          // its FX store
    std::optional<KSJACK_DESCRIPTION> jack;
};

struct WriteEntry {
    std::wstring endpointId;
    std::string store;  // "fx" or "endpoint"
    PROPERTYKEY key;
    audio::Value value;
    std::string path;  // how the program wrote it
};

struct MachineState {
    DWORD windowsMajor = 6;
    DWORD windowsMinor = 1;
    DriverState driver;
    std::vector<EndpointState> endpoints;
    std::vector<WriteEntry> writes;

    EndpointState* Find(const std::wstring& id);
    // By id, or by friendly name.
    EndpointState* FindByIdOrName(const std::wstring& idOrName);
};

// The entry of a key in a list, or null.
PropertyEntry* FindEntry(std::vector<PropertyEntry>& entries, const PROPERTYKEY& key);
void PutEntry(std::vector<PropertyEntry>& entries, const PROPERTYKEY& key, audio::Value value);

// The state file's text and back. Parsing fails with a one-line reason.
std::string ToJson(const MachineState& state);
bool FromJson(const std::string& text, MachineState* state, std::string* error);

// The built-in laptop.
MachineState DefaultMachine();

// Key names the file and the command line use: the maker's keys by name (PKEY_Xan_NaturalBass, ...)
// or "{fmtid},pid".
std::string KeyName(const PROPERTYKEY& key);
bool ParseKey(const std::string& name, PROPERTYKEY* key);

// A stereo PCM device format as the endpoint store keeps it.
audio::Value DeviceFormat(DWORD sampleRate, WORD validBits);

}  // namespace sim::machine
