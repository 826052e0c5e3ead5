#include "bench/sweep/SweepRun.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "bench/sweep/CallJudge.h"
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

void Add(std::vector<std::string>* problems, const std::string& head,
         const std::vector<std::string>& found) {
    for (const std::string& what : found) {
        problems->push_back(head + what);
    }
}

// Judges the run by what the rules make of it, given the call answered otherwise: start-up's
// outcome first, then every call; once the run has parted from the rules, what it does later
// proves nothing more. Then its writes, part by part, and the stores they leave.
void JudgeRun(const RunChoice& run, const ScriptedUseResult& use,
              const std::vector<sim::audio::WriteRecord>& log, const StoredValues& before,
              const StoredValues& after, RunReport* report) {
    std::vector<std::string>& problems = report->problems;
    sim::machine::MachineState machine = SweepMachine(run.start, run.windows);
    std::optional<Fault> fault;
    if (run.call) {
        fault = Fault{run.call, run.variant};
    }
    RunPlan plan = PlanRun(machine, fault);
    std::string answered = run.call && run.call <= plan.calls.size()
                               ? Describe(plan.calls[run.call - 1], run.call)
                               : "no fault";
    if (use.sheetShown != plan.sheetShown) {
        problems.push_back(use.sheetShown ? "the sheet showed after " + answered +
                                                ", where the rules end start-up: " + plan.ended
                                          : "start-up ended after " + answered +
                                                ", where the rules carry on to the sheet");
        return;
    }
    if (std::string calls = CompareCalls(report->calls, report->partCalls, plan); !calls.empty()) {
        problems.push_back(calls);
        return;
    }
    StoredValues expected = before;
    if (!use.sheetShown) {
        for (const sim::audio::WriteRecord& write : log) {
            if (SUCCEEDED(write.result)) {
                problems.push_back("start-up ended (" + plan.ended + "), but wrote " +
                                   Describe(write));
            }
        }
    } else {
        if (static_cast<size_t>(use.stepsDone) != Script().size()) {
            problems.push_back("the run did " + std::to_string(use.stepsDone) + " of the " +
                               std::to_string(Script().size()) + " steps");
        }
        RunPlan faultFree = PlanRun(machine, std::nullopt);
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

RunReport RunOnce(const RunChoice& run) {
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
        sim::machine::Bench bench(SweepMachine(run.start, run.windows));
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
    JudgeRun(run, use, log, before, after, &report);
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
