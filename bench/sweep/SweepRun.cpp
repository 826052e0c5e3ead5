#include "bench/sweep/SweepRun.h"

#include <windows.h>

#include <memory>

#include "bench/sweep/CallRoles.h"
#include "bench/sweep/CrashGuard.h"
#include "bench/sweep/LibraryCalls.h"
#include "bench/sweep/ProcessLeftovers.h"
#include "bench/sweep/RegistryCalls.h"
#include "bench/sweep/ScriptModel.h"
#include "bench/sweep/ScriptedUse.h"
#include "bench/sweep/StoredValues.h"
#include "bench/sweep/WriteJudge.h"
#include "fxstore/EffectState.h"
#include "page/DeviceCallback.h"
#include "sim/audio/AudioService.h"
#include "sim/audio/MallocSpy.h"
#include "sim/audio/Operations.h"
#include "sim/machine/Bench.h"
#include "sim/machine/EffectKeys.h"
#include "sim/platform/CallSweep.h"

namespace keys = sim::keys;

namespace sweep {
namespace {
using sim::audio::Store;
using sim::audio::Value;

// A registration the service would not end stays the service's; the client must be cut off from
// start-up's notifier, which is gone. The service then lets it go, as at the end of the process.
void CheckKeptClients(sim::audio::AudioService& service, std::vector<std::string>* problems) {
    for (IMMNotificationClient* client : service.Clients()) {
        if (static_cast<CDeviceCallback*>(client)->owner) {
            problems->push_back("a client the service kept is still tied to the ended notifier");
        }
    }
    service.DropClients();
}

std::vector<std::pair<PROPERTYKEY, Value>> Properties(
    const std::vector<sim::machine::PropertyEntry>& entries) {
    std::vector<std::pair<PROPERTYKEY, Value>> properties;
    for (const auto& entry : entries) {
        properties.emplace_back(entry.key, entry.value);
    }
    return properties;
}

ModelMachine ModelOf(sim::machine::MachineState machine) {
    const sim::machine::EndpointState* speakers = machine.Find(kSpeakers);
    return {Properties(speakers->properties), Properties(speakers->fx), machine.windowsMinor};
}

void Add(std::vector<std::string>* problems, const std::string& head,
         const std::vector<std::string>& found) {
    for (const std::string& what : found) {
        problems->push_back(head + what);
    }
}

// Judges what the run wrote against what the rules write given the call answered otherwise.
void JudgeRun(const RunChoice& run, const FaultFreeCalls* reference, const ScriptedUseResult& use,
              const std::vector<sim::audio::WriteRecord>& log, const StoredValues& before,
              const StoredValues& after, RunReport* report) {
    std::vector<std::string>& problems = report->problems;
    ModelMachine machine = ModelOf(SweepMachine(run.start));
    std::optional<Fault> fault;
    if (run.call && reference && run.call <= reference->calls.size()) {
        std::vector<std::string> names;
        for (const sim::call_sweep::Call& call : reference->calls) {
            names.push_back(call.name);
        }
        std::vector<size_t> stepStarts(reference->partCalls.begin() + 1,
                                       reference->partCalls.end());
        fault = Fault{RolesOf(names, stepStarts)[run.call - 1], run.variant};
    }
    RunPlan faultFree = PlanRun(machine, std::nullopt);
    RunPlan plan = fault ? PlanRun(machine, fault) : faultFree;
    StoredValues expected = before;
    if (!use.sheetShown) {
        if (!fault || fault->role.purpose != Purpose::StartUp) {
            problems.push_back("start-up ended, where the rules go on after " +
                               (fault ? Describe(fault->role) : std::string("no fault")));
        }
        for (const sim::audio::WriteRecord& write : log) {
            if (SUCCEEDED(write.result)) {
                problems.push_back("start-up ended, but wrote " + Describe(write));
            }
        }
    } else {
        if (static_cast<size_t>(use.stepsDone) != Script().size()) {
            problems.push_back("the run did " + std::to_string(use.stepsDone) + " of the " +
                               std::to_string(Script().size()) + " steps");
        }
        WriteVerdict verdict = JudgeWrites(log, use.partWrites, plan, faultFree);
        Add(&problems, "", verdict.problems);
        report->silentSteps = verdict.silentSteps;
        PutStore(&expected, kSpeakers, Store::Endpoint, plan.endpointStore);
        PutStore(&expected, kSpeakers, Store::Fx, plan.fxStore);
    }
    if (problems.empty()) {
        Add(&problems, "", UnexpectedValues(expected, after));
    }
}

}  // namespace

std::string RunName(const RunChoice& run) {
    return (run.start == Start::Second ? "s" : "") + std::to_string(run.call) +
           (run.variant == sim::call_sweep::Variant::Unusable ? "u" : "");
}

bool ParseRunName(const std::string& text, RunChoice* run, bool faultFree) {
    size_t first = !text.empty() && text[0] == 's' ? 1 : 0;
    size_t digits = first;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    std::string rest = text.substr(digits);
    if (digits == first || digits - first > 9 || (!rest.empty() && rest != "u")) {
        return false;
    }
    run->start = first ? Start::Second : Start::First;
    run->call = std::stoul(text.substr(first, digits - first));
    run->variant =
        rest.empty() ? sim::call_sweep::Variant::Failure : sim::call_sweep::Variant::Unusable;
    return run->call != 0 || (faultFree && rest.empty());
}

sim::machine::MachineState SweepMachine(Start start) {
    sim::machine::MachineState machine = sim::machine::DefaultMachine();
    sim::machine::EndpointState* speakers = machine.Find(kSpeakers);
    sim::machine::PutEntry(speakers->properties, PKEY_AudioEngine_DeviceFormat,
                           sim::machine::DeviceFormat(96000, 24));
    if (start == Start::Second) {
        // A person's own settings, none of them a default: every effect word with fields of
        // its own, the selector at 1 with the headphone effect on.
        const std::pair<PROPERTYKEY, DWORD> words[] = {
            {keys::FirstRunMarker, 0},       {keys::ModeWord, 0x80400A39},
            {keys::Headphone, 0x80000321},   {keys::HeadphoneSelector, 1},
            {keys::SoundSpaceExpander, 0x1}, {keys::LevelWord, 0x80000007},
            {keys::NaturalBass, 0x8000622A},
        };
        for (const auto& [key, word] : words) {
            sim::machine::PutEntry(speakers->fx, key, Value::UInt32(word));
        }
    }
    return machine;
}

bool PrepareRuns(std::string* problem) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(init)) {
        *problem = "the multithreaded apartment could not be entered";
        return false;
    }
    sim::audio::InstallMallocSpy();
    if (!RouteLibraryCallsThroughSweep()) {
        *problem = "LoadLibraryW, GetProcAddress or FreeLibrary is not in this program's imports";
        return false;
    }
    if (!RouteRegistryCallsThroughSweep()) {
        *problem =
            "RegOpenKeyExW, RegQueryValueExW or RegCloseKey is not in this program's imports";
        return false;
    }
    WarmUpProcess();
    return true;
}

RunReport RunOnce(const RunChoice& run, const FaultFreeCalls* reference) {
    // A run starts as a new process of the program would, with the cached effect records zero.
    g_naturalBass = {};
    g_levelWord = {};
    g_soundSpaceExpander = {};
    g_headphone = {};
    g_modeWord = {};
    RunReport report;
    size_t blocksAtStart = sim::audio::LiveCoTaskMemBlocks();
    ProcessState processBefore = TakeProcessState();
    std::shared_ptr<sim::audio::AudioService> service;
    std::string driverLeftovers;
    ScriptedUseResult use;
    StoredValues before, after;
    std::vector<sim::audio::WriteRecord> log;
    std::vector<std::wstring> endpointIds;
    for (const auto& endpoint : sim::machine::DefaultMachine().endpoints) {
        endpointIds.push_back(endpoint.id);
    }
    {
        sim::machine::Bench bench(SweepMachine(run.start));
        service = sim::audio::AudioService::Current();
        before = Snapshot(*service, endpointIds);
        // Each change is told before the writer goes on, so that the page's refreshes, and the
        // calls they make, come alike in every run whatever the timing of the service's thread.
        sim::audio::AudioService* told = service.get();
        service->SetWriteObserver(
            [told](const sim::audio::WriteRecord&) { told->FlushNotifications(); });
        sim::call_sweep::StartAnswering(run.call, run.variant);
        use = RunScriptedUse(bench);
        sim::call_sweep::Stop();
        SetCrashPlace("the run's checks");
        report.calls = sim::call_sweep::RecordedCalls();
        report.partCalls = use.partCalls;
        report.answeredCall = sim::call_sweep::AnsweredCall();
        service->FlushNotifications();
        after = Snapshot(*service, endpointIds);
        log = service->Writes();
        driverLeftovers = bench.Driver().Leftovers();
        if (report.answeredCall == sim::audio::op::UnregisterCallback) {
            CheckKeptClients(*service, &report.problems);
        }
    }
    report.sheetShown = use.sheetShown;
    std::vector<std::string>& problems = report.problems;
    for (const std::string& problem : use.problems) {
        problems.push_back(problem);
    }
    JudgeRun(run, reference, use, log, before, after, &report);
    if (!use.otherWindows.empty()) {
        std::string windows;
        for (const std::string& window : use.otherWindows) {
            windows += (windows.empty() ? "" : ", ") + window;
        }
        problems.push_back(std::string(use.sheetShown ? "windows besides the sheet: "
                                                      : "start-up failed but not silently: ") +
                           windows);
    }
    if (std::string left = sim::audio::DescribeLeftovers(*service); !left.empty()) {
        problems.push_back("audio service: " + left);
    }
    service.reset();
    if (!driverLeftovers.empty()) {
        problems.push_back("driver: " + driverLeftovers);
    }
    if (std::string keys = OpenSwitchKeys(); !keys.empty()) {
        problems.push_back("registry: " + keys);
    }
    size_t blocks = sim::audio::LiveCoTaskMemBlocks();
    if (blocks != blocksAtStart) {
        problems.push_back(std::to_string(blocks - blocksAtStart) + " CoTaskMem block(s) leaked");
    }
    if (::GetModuleHandleW(L"XANPropPageExt.dll")) {
        problems.push_back("the extension library is still loaded");
    }
    Add(&problems, "process: ", Leftovers(processBefore, TakeProcessState()));
    return report;
}

}  // namespace sweep
