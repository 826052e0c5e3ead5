// halvo-sim: the program's own start-up against a simulated laptop kept in a state file.
//
//   halvo-sim [run] [--state FILE] [--hold-after KEY | --bare-sheet]
//                                           open the sheet (the default command); with
//                                           --hold-after, the program's first write of KEY
//                                           returns only once another program has changed a
//                                           value (at most 10 s); with --bare-sheet, set up
//                                           all the same but show the page's template in a bare
//                                           sheet instead of starting the program
//   halvo-sim check [--state FILE] [--extension VARIANT|none]
//                                           HalvoCheck's start-up tests against the machine,
//                                           with its exit code; --extension puts a stand-in
//                                           variant of the extension library, or none, in place
//                                           of the complete one
//   halvo-sim show [--state FILE] [--json]  print the machine
//   halvo-sim set [--state FILE] ENDPOINT KEY VALUE
//   halvo-sim plug [--state FILE] front-headphones|none
//   halvo-sim format [--state FILE] ENDPOINT RATE VALIDBITS
//   halvo-sim reset [--state FILE]
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/PropertyPageApp.h"
#include "check/CheckReport.h"
#include "check/StartupCheck.h"
#include "sim/machine/BareSheet.h"
#include "sim/machine/Bench.h"
#include "sim/machine/ExtensionChoice.h"
#include "sim/machine/Instrument.h"
#include "sim/machine/PhaseReport.h"
#include "sim/machine/MachineReport.h"
#include "sim/machine/StateFile.h"

namespace {

using sim::machine::MachineState;

int Fail(const std::string& problem) {
    std::fprintf(stderr, "halvo-sim: %s\n", problem.c_str());
    return 2;
}

std::string Narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

// The default state file sits next to the program.
std::wstring DefaultStatePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path);
    return full.substr(0, full.find_last_of(L'\\') + 1) + L"halvo-sim-state.json";
}

// A whole number, decimal or 0x hexadecimal, that fits 32 bits.
bool ParseNumber(const std::wstring& text, unsigned long* number) {
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    unsigned long long value = wcstoull(text.c_str(), &end, 0);
    if (*end || value > 0xFFFFFFFFULL || text[0] == L'-') {
        return false;
    }
    *number = static_cast<unsigned long>(value);
    return true;
}

int Run(sim::machine::StateFile& file, const std::vector<std::wstring>& args) {
    PROPERTYKEY holdAfter = {};
    bool bare = args.size() == 1 && args[0] == L"--bare-sheet";
    if (!args.empty() && !bare &&
        (args.size() != 2 || args[0] != L"--hold-after" ||
         !sim::machine::ParseKey(Narrow(args[1]), &holdAfter))) {
        return Fail("usage: run [--hold-after KEY | --bare-sheet]");
    }
    MachineState state;
    std::string error;
    if (!file.LoadOrMake(&state, &error)) {
        return Fail(error);
    }
    sim::machine::Bench bench(state);
    bench.RecordWritesTo(file);
    if (!args.empty() && !bare) {
        bench.HoldAfterFirstWrite(holdAfter);
    }
    sim::machine::StateWatcher watcher(file.Path(), [&] {
        std::string reloadError;
        bench.ReloadFrom(file, &reloadError);
    });
    // Benchmark scripts watch the sheet through the environment; nothing happens without it.
    bench::StartPhaseReportFromEnvironment();
    bench::InstrumentFromEnvironment();
    if (bare) {
        return bench::ShowBareSheet();
    }
    CPropertyPageApp app;
    bench::MarkInitInstance();
    app.InitInstance();
    return app.ExitInstance();
}

// The start-up check as HalvoCheck.exe makes it, against the machine; its exit code is the
// check's. Like show, it reads a missing file as the built-in laptop and leaves it missing; a
// value the check wrote would land in an existing file, as the program's writes do.
int Check(sim::machine::StateFile& file, const std::vector<std::wstring>& args) {
    if (!args.empty() && (args.size() != 2 || args[0] != L"--extension")) {
        return Fail("usage: check [--extension VARIANT|none]");
    }
    if (!args.empty()) {
        std::wstring path;
        if (args[1] != L"none") {
            path = sim::machine::ExtensionVariantPath(args[1]);
            if (path.empty()) {
                return Fail("no extension library variant " + Narrow(args[1]) +
                            " beside halvo-sim (full, missing-last, missing-middle, wrong-case "
                            "or none)");
            }
        }
        if (!sim::machine::RouteExtensionLibraryTo(path)) {
            return Fail("cannot put the extension library variant in place");
        }
    }
    MachineState state = sim::machine::DefaultMachine();
    std::string error;
    bool exists = file.Exists();
    if (exists && !file.Load(&state, &error)) {
        return Fail(error);
    }
    sim::machine::Bench bench(state);
    if (exists) {
        bench.RecordWritesTo(file);
    }
    CCheckReport report([](const std::wstring& line) {
        std::string text = Narrow(line) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    });
    return RunStartupChecks(report);
}

// A missing file shows the built-in laptop, and stays missing.
int Show(sim::machine::StateFile& file, bool asJson) {
    MachineState state = sim::machine::DefaultMachine();
    std::string error;
    if (file.Exists() && !file.Load(&state, &error)) {
        return Fail(error);
    }
    std::string report = asJson ? sim::machine::ReportJson(state) : sim::machine::Report(state);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return 0;
}

int Set(sim::machine::StateFile& file, const std::vector<std::wstring>& args) {
    if (args.size() != 3) {
        return Fail("usage: set ENDPOINT KEY VALUE");
    }
    PROPERTYKEY key;
    if (!sim::machine::ParseKey(Narrow(args[1]), &key)) {
        return Fail("unknown key " + Narrow(args[1]));
    }
    sim::audio::Value value;
    unsigned long number = 0;
    if (args[2].rfind(L"text:", 0) == 0) {
        value = sim::audio::Value::String(args[2].substr(5));
    } else if (ParseNumber(args[2], &number)) {
        value = sim::audio::Value::UInt32(number);
    } else {
        return Fail("malformed number " + Narrow(args[2]));
    }
    std::string error;
    bool fx = sim::machine::IsFxKey(key);
    bool ok = file.Update(
        [&](MachineState& state) {
            auto* endpoint = state.FindByIdOrName(args[0]);
            if (!endpoint) {
                error = "unknown endpoint " + Narrow(args[0]);
                return false;
            }
            sim::machine::PutEntry(fx ? endpoint->fx : endpoint->properties, key, value);
            return true;
        },
        &error);
    return ok ? 0 : Fail(error);
}

int Plug(sim::machine::StateFile& file, const std::vector<std::wstring>& args) {
    if (args.size() != 1 || (args[0] != L"front-headphones" && args[0] != L"none")) {
        return Fail("usage: plug front-headphones|none");
    }
    bool headphones = args[0] == L"front-headphones";
    std::string error;
    bool ok = file.Update(
        [&](MachineState& state) {
            // A plug in the first front jack, its port retasked as a headphone output.
            state.driver.jack = headphones ? 0x0010 : 0;
            state.driver.retasking[0] = headphones ? 2 : 1;
            state.driver.chipRetasking[0] = headphones ? 0 : 3;
            return true;
        },
        &error);
    return ok ? 0 : Fail(error);
}

int Format(sim::machine::StateFile& file, const std::vector<std::wstring>& args) {
    unsigned long rate = 0, bits = 0;
    if (args.size() != 3 || !ParseNumber(args[1], &rate) || !ParseNumber(args[2], &bits) ||
        bits > 32 || rate == 0) {
        return Fail("usage: format ENDPOINT RATE VALIDBITS");
    }
    std::string error;
    bool ok = file.Update(
        [&](MachineState& state) {
            auto* endpoint = state.FindByIdOrName(args[0]);
            if (!endpoint) {
                error = "unknown endpoint " + Narrow(args[0]);
                return false;
            }
            sim::machine::PutEntry(endpoint->properties, PKEY_AudioEngine_DeviceFormat,
                                   sim::machine::DeviceFormat(rate, static_cast<WORD>(bits)));
            return true;
        },
        &error);
    return ok ? 0 : Fail(error);
}

int Main(std::vector<std::wstring> args) {
    std::wstring command = L"run";
    if (!args.empty() && args[0].rfind(L"--", 0) != 0) {
        command = args[0];
        args.erase(args.begin());
    }
    std::wstring statePath = DefaultStatePath();
    bool asJson = false;
    std::vector<std::wstring> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--state") {
            if (i + 1 == args.size()) {
                return Fail("--state needs a file");
            }
            statePath = args[++i];
        } else if (args[i] == L"--json") {
            asJson = true;
        } else {
            rest.push_back(args[i]);
        }
    }
    // Made absolute here, before any thread starts: the file's watcher reads the path from a
    // thread of its own, and a relative path would follow any later change of directory.
    sim::machine::StateFile file(statePath);
    // A path that cannot hold the file is refused before anything starts.
    std::string unusable;
    if (command != L"help" && !file.Usable(&unusable, command != L"show")) {
        return Fail(unusable);
    }
    if (command == L"run") {
        return Run(file, rest);
    }
    if (command == L"check") {
        return Check(file, rest);
    }
    if (command == L"show" && rest.empty()) {
        return Show(file, asJson);
    }
    if (command == L"set") {
        return Set(file, rest);
    }
    if (command == L"plug") {
        return Plug(file, rest);
    }
    if (command == L"format") {
        return Format(file, rest);
    }
    if (command == L"help") {
        std::printf(
            "halvo-sim [run] [--state FILE] [--hold-after KEY | --bare-sheet]\n"
            "                                            open the sheet against the machine\n"
            "halvo-sim check [--state FILE] [--extension VARIANT|none]\n"
            "                                            HalvoCheck's tests against the machine\n"
            "halvo-sim show [--state FILE] [--json]      print the machine\n"
            "halvo-sim set [--state FILE] ENDPOINT KEY VALUE\n"
            "halvo-sim plug [--state FILE] front-headphones|none\n"
            "halvo-sim format [--state FILE] ENDPOINT RATE VALIDBITS\n"
            "halvo-sim reset [--state FILE]\n");
        return 0;
    }
    if (command == L"reset" && rest.empty()) {
        std::string error;
        return file.Save(sim::machine::DefaultMachine(), &error) ? 0 : Fail(error);
    }
    return Fail("unknown command or arguments (halvo-sim help lists them)");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = Main(std::vector<std::wstring>(argv + 1, argv + argc));
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return result;
}
