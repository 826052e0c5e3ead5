// The bad-input sweep: seeded random inputs through every piece of the program that reads data
// from outside (device paths, the driver's answers, the per-user switch, property values, endpoint
// names and ids, the ids in change notifications). Each kind prints how many inputs ran and gave
// the defined outcome, and what it left behind. The exit status is 1 when any input failed, 3 on a
// fault.
//   halvo-badinput [--short] [--seed N] [--count N]
#include <pthread.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

#include "bench/badinput/GuardingMallocSpy.h"
#include "bench/badinput/Kinds.h"
#include "bench/badinput/Sweep.h"

namespace {

constexpr uint64_t kDefaultSeed = 20261208;
constexpr size_t kFullCount = 100000;
constexpr size_t kShortCount = 2000;

bool ParseArguments(int argc, wchar_t** argv, badinput::SweepOptions* options) {
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--short") == 0) {
            options->count = kShortCount;
        } else if (std::wcscmp(argv[i], L"--seed") == 0 && i + 1 < argc) {
            options->seed = std::wcstoull(argv[++i], nullptr, 10);
        } else if (std::wcscmp(argv[i], L"--count") == 0 && i + 1 < argc) {
            options->count = std::wcstoull(argv[++i], nullptr, 10);
        } else {
            return false;
        }
    }
    return options->count > 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    badinput::SweepOptions options = {kDefaultSeed, kFullCount};
    if (!ParseArguments(argc, argv, &options)) {
        std::fprintf(stderr, "usage: halvo-badinput [--short] [--seed N] [--count N]\n");
        return 2;
    }
    std::printf("bad-input sweep: seed %llu, %zu inputs per kind\n",
                static_cast<unsigned long long>(options.seed), options.count);
    std::fflush(stdout);
    badinput::SetCurrentInput("start-up", 0);

    // The audio service stand-in needs the multithreaded apartment; the spy must be in place
    // before the first block it is to watch.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 2;
    }
    badinput::InstallGuardingMallocSpy();
    badinput::ScopedPrivateCurrentUser currentUser;
    if (!currentUser.Ok()) {
        std::fprintf(stderr, "no private key for HKEY_CURRENT_USER\n");
        return 2;
    }

    // What the process makes once and keeps, made before any kind counts its handles: the
    // threads' runtime's record of this thread, and the debug channel's mutex.
    pthread_self();
    OutputDebugStringW(L"");
    bool clean = true;
    for (const badinput::Kind& kind : badinput::AllKinds()) {
        DWORD start = GetTickCount();
        clean = kind.run(options) && clean;
        std::printf("(%s: %.1f s)\n", kind.name, (GetTickCount() - start) / 1000.0);
        std::fflush(stdout);
    }
    CoUninitialize();
    return clean ? 0 : 1;
}
