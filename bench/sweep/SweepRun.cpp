#include "bench/sweep/SweepRun.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "bench/sweep/LibraryCalls.h"
#include "bench/sweep/ScriptedUse.h"
#include "endpoints/ExtensionLibrary.h"
#include "page/DeviceCallback.h"
#include "sim/audio/AudioService.h"
#include "sim/audio/MallocSpy.h"
#include "sim/audio/Operations.h"
#include "sim/machine/Bench.h"
#include "sim/platform/CallSweep.h"

namespace sweep {
namespace {

using sim::audio::Store;
using sim::audio::Value;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // ids are plain ASCII
}

std::string PlaceName(const std::wstring& endpointId, Store store, const PROPERTYKEY& key) {
    return Narrow(endpointId) + (store == Store::Fx ? " fx " : " endpoint ") +
           sim::machine::KeyName(key);
}

// Every value of both stores of every endpoint, by place.
std::map<std::string, Value> Snapshot(const sim::audio::AudioService& service) {
    std::map<std::string, Value> values;
    for (const auto& endpoint : sim::machine::DefaultMachine().endpoints) {
        for (Store store : {Store::Endpoint, Store::Fx}) {
            for (const auto& [key, value] : service.Properties(store, endpoint.id)) {
                values[PlaceName(endpoint.id, store, key)] = value;
            }
        }
    }
    return values;
}

WrittenValues Written(const sim::audio::AudioService& service) {
    WrittenValues written;
    for (const auto& write : service.Writes()) {
        if (SUCCEEDED(write.result)) {
            written[PlaceName(write.endpointId, write.store, write.key)].push_back(write.value);
        }
    }
    return written;
}

std::string Show(const Value* value) {
    return value ? value->Describe() : "nothing";
}

// Each place holds what it held before or a value the fault-free run wrote there.
void CheckValues(const std::map<std::string, Value>& before,
                 const std::map<std::string, Value>& after, const WrittenValues& reference,
                 std::vector<std::string>* problems) {
    std::vector<std::string> places;
    for (const auto& entry : before) {
        places.push_back(entry.first);
    }
    for (const auto& entry : after) {
        places.push_back(entry.first);
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    for (const std::string& place : places) {
        auto was = before.find(place);
        auto now = after.find(place);
        const Value* wasValue = was == before.end() ? nullptr : &was->second;
        const Value* nowValue = now == after.end() ? nullptr : &now->second;
        if ((!wasValue && !nowValue) || (wasValue && nowValue && *wasValue == *nowValue)) {
            continue;
        }
        auto intended = reference.find(place);
        if (nowValue && intended != reference.end() &&
            std::find(intended->second.begin(), intended->second.end(), *nowValue) !=
                intended->second.end()) {
            continue;
        }
        problems->push_back(place + " holds " + Show(nowValue) + ", neither what it held (" +
                            Show(wasValue) + ") nor a value the fault-free run wrote");
    }
}

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

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
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
    std::map<std::string, Value> before, after;
    {
        sim::machine::Bench bench(sim::machine::DefaultMachine());
        service = sim::audio::AudioService::Current();
        before = Snapshot(*service);
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
        after = Snapshot(*service);
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
    if (::GetModuleHandleW(EXTENSION_LIBRARY_NAME)) {
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
    if (!failCall && !use.sheetShown) {
        problems.push_back("the fault-free run showed no sheet");
    }
    if (reference) {
        CheckValues(before, after, *reference, &problems);
    }
    return report;
}

}  // namespace sweep
