#include "bench/sweep/SweepRun.h"

#include <windows.h>

#include <memory>

#include "bench/sweep/LibraryCalls.h"
#include "bench/sweep/RegistryCalls.h"
#include "bench/sweep/ScriptedUse.h"
#include "bench/sweep/StoredValues.h"
#include "fxstore/EffectState.h"
#include "page/DeviceCallback.h"
#include "sim/audio/AudioService.h"
#include "sim/audio/MallocSpy.h"
#include "sim/audio/Operations.h"
#include "sim/machine/Bench.h"
#include "sim/platform/CallSweep.h"

namespace sweep {
namespace {

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

BOOL CALLBACK CountVisible(HWND window, LPARAM lParam) {
    if (::IsWindowVisible(window)) {
        ++*reinterpret_cast<int*>(lParam);
    }
    return TRUE;
}

int VisibleThreadWindows() {
    int visible = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountVisible, reinterpret_cast<LPARAM>(&visible));
    return visible;
}

// The built-in laptop with its speakers at 96000 Hz, a format the effects do not take: the first
// effect the script switches on forces stereo 48000 Hz. The forcing is then swept like every
// other step, and what it writes is among the fault-free run's values, as it must be for a run in
// which a format read finds nothing and the program forces the format again.
sim::machine::MachineState SweepMachine() {
    sim::machine::MachineState machine = sim::machine::DefaultMachine();
    if (sim::machine::EndpointState* speakers = machine.Find(kSpeakers)) {
        sim::machine::PutEntry(speakers->properties, PKEY_AudioEngine_DeviceFormat,
                               sim::machine::DeviceFormat(96000, 24));
    }
    return machine;
}

std::string Joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& piece : pieces) {
        text += (text.empty() ? "" : ", ") + piece;
    }
    return text;
}

}  // namespace

std::string RunName(const RunChoice& run) {
    return std::to_string(run.call) +
           (run.variant == sim::call_sweep::Variant::Unusable ? "u" : "");
}

bool ParseRunName(const std::string& text, RunChoice* run) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    std::string rest = text.substr(digits);
    if (digits == 0 || digits > 9 || (!rest.empty() && rest != "u")) {
        return false;
    }
    run->call = std::stoul(text.substr(0, digits));
    run->variant =
        rest.empty() ? sim::call_sweep::Variant::Failure : sim::call_sweep::Variant::Unusable;
    return run->call != 0;
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
    return true;
}

RunReport RunOnce(const RunChoice& run, const WrittenValues* reference) {
    // Each run starts as a new process of the program would, with the cached effect records
    // zero, not with what the run before left in them.
    g_naturalBass = {};
    g_levelWord = {};
    g_soundSpaceExpander = {};
    g_headphone = {};
    g_modeWord = {};
    RunReport report;
    size_t blocksAtStart = sim::audio::LiveCoTaskMemBlocks();
    std::shared_ptr<sim::audio::AudioService> service;
    std::string driverLeftovers;
    ScriptedUseResult use;
    StoredValues before, after;
    std::vector<std::wstring> endpointIds;
    for (const auto& endpoint : sim::machine::DefaultMachine().endpoints) {
        endpointIds.push_back(endpoint.id);
    }
    {
        sim::machine::Bench bench(SweepMachine());
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
        report.calls = sim::call_sweep::RecordedCalls();
        report.answeredCall = sim::call_sweep::AnsweredCall();
        service->FlushNotifications();
        after = Snapshot(*service, endpointIds);
        report.written = Written(*service);
        driverLeftovers = bench.Driver().Leftovers();
        if (report.answeredCall == sim::audio::op::UnregisterCallback) {
            CheckKeptClients(*service, &report.problems);
        }
    }
    report.sheetShown = use.sheetShown;
    std::vector<std::string>& problems = report.problems;
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
    if (int windows = VisibleThreadWindows()) {
        problems.push_back(std::to_string(windows) + " window(s) still visible");
    }
    if (::GetModuleHandleW(L"XANPropPageExt.dll")) {
        problems.push_back("the extension library is still loaded");
    }
    if (!use.otherWindows.empty()) {
        problems.push_back(std::string(use.sheetShown ? "windows besides the sheet: "
                                                      : "start-up failed but not silently: ") +
                           Joined(use.otherWindows));
    }
    for (const std::string& problem : use.problems) {
        problems.push_back(problem);
    }
    if (!run.call && static_cast<size_t>(use.stepsDone) != ScriptSteps().size()) {
        problems.push_back("the fault-free run did " + std::to_string(use.stepsDone) + " of the " +
                           std::to_string(ScriptSteps().size()) + " steps");
    }
    if (reference) {
        for (const std::string& torn : UnintendedValues(before, after, *reference)) {
            problems.push_back(torn);
        }
    }
    return report;
}

}  // namespace sweep
