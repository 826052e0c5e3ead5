#include "bench/sweep/SweepRun.h"

#include <windows.h>

#include <memory>

#include "bench/sweep/LibraryCalls.h"
#include "bench/sweep/ScriptedUse.h"
#include "bench/sweep/StoredValues.h"
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

std::string Joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& piece : pieces) {
        text += (text.empty() ? "" : ", ") + piece;
    }
    return text;
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
        *problem = "LoadLibraryW or GetProcAddress is not in this program's import table";
        return false;
    }
    return true;
}

RunReport RunOnce(size_t failCall, const WrittenValues* reference) {
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
        sim::machine::Bench bench(sim::machine::DefaultMachine());
        service = sim::audio::AudioService::Current();
        before = Snapshot(*service, endpointIds);
        // Each change is told before the writer goes on, so that the page's refreshes, and the
        // calls they make, come alike in every run whatever the timing of the service's thread.
        sim::audio::AudioService* told = service.get();
        service->SetWriteObserver(
            [told](const sim::audio::WriteRecord&) { told->FlushNotifications(); });
        if (failCall) {
            sim::call_sweep::StartFailing(failCall);
        } else {
            sim::call_sweep::StartCounting();
        }
        use = RunScriptedUse(bench);
        sim::call_sweep::Stop();
        report.calls = sim::call_sweep::Calls();
        report.failedCall = sim::call_sweep::FailedCall();
        service->FlushNotifications();
        after = Snapshot(*service, endpointIds);
        report.written = Written(*service);
        driverLeftovers = bench.Driver().Leftovers();
        if (report.failedCall == sim::audio::op::UnregisterCallback) {
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
    if (!failCall && static_cast<size_t>(use.stepsDone) != ScriptSteps().size()) {
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
