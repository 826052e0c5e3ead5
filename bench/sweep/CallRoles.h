#pragma once

#include <windows.h>
#include <propkeydef.h>

#include <string>
#include <vector>

// What each outside call of the scripted use serves, as the program's rules see it: which read or
// write it leads to, in which part of the run. The sweep's model of the rules takes a failing
// call's role to say what the program must still write after it.
namespace sweep {

// The parts of a run: start-up up to the opening of the FX store, the page's start up to the
// first step, then one part per step of the script (closing included).
enum class Part { StartUp, PageStart, Step };

enum class Purpose {
    Other,         // the driver, the per-user switch, the extension library: nothing written
                   // depends on them once start-up is past
    StartUp,       // start-up's own work, whose failure may end the program
    Registration,  // the notification client's registration at start-up
    PageDevice,    // the page's own device, by whose id every write goes
    Read,          // a read of a value
    Write,         // a write of a value
};

// Which call of its chain a call is: a read is made of the enumerator, the device, its property
// store and the read itself; a write of the device's id, the version query, the configuration
// object and the write itself.
enum class Link {
    Enumerator,
    Device,
    OpenStore,
    GetValue,
    DeviceId,
    Version,
    Config,
    Write,
    Other
};

struct CallRole {
    Part part = Part::StartUp;
    size_t step = 0;  // Part::Step: the step, from 0
    Purpose purpose = Purpose::Other;
    Link link = Link::Other;
    std::string key;     // a Read or Write: the value's key as calls name it (KeyText)
    int occurrence = 0;  // a Read or Write: which of the part's reads or writes of that key, from 1

    bool operator==(const CallRole&) const = default;
};

// A key as the stand-ins name it in a call: "{50AF0471},0"; the device format's writes are
// named "format".
std::string KeyText(const PROPERTYKEY& key);
inline constexpr char kFormatWrite[] = "format";

// The roles of a fault-free run's calls, in order. stepStarts[i] is the number of calls made
// before step i began. A call the rules give no role is Purpose::Other.
std::vector<CallRole> RolesOf(const std::vector<std::string>& calls,
                              const std::vector<size_t>& stepStarts);

// "page start: read {50AF0471},0 (2nd), its device": a role in words, for reports.
std::string Describe(const CallRole& role);

}  // namespace sweep
