// Endpoint ids of any length and any units in the audio service's change notifications, and as
// the endpoint the page watches. A notification is forwarded only for the watched endpoint's id
// as the notifier keeps it (cut to 259 units). Both ids are guarded copies. A notification may
// leave nothing behind: the client goes with its last release, the notifier's lock is free again,
// and no block or handle stays.
#include <windows.h>

#include <string>
#include <vector>

#include "app/EndpointNotifier.h"
#include "bench/badinput/GuardedMemory.h"
#include "bench/badinput/Kinds.h"
#include "page/DeviceCallback.h"
#include "page/EndpointCallbacks.h"

namespace badinput {
namespace {

constexpr size_t kKeptUnits = 259;

class CountingCallbacks : public CEndpointCallbacks {
public:
    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override {
        ++calls;
        lastPid = key->pid;
    }
    int calls = 0;
    DWORD lastPid = 0;
};

std::wstring AnyId(Random& random) {
    size_t length;
    switch (random.Between(0, 2)) {
        case 0: length = random.Between(0, 60); break;
        case 1: length = random.Between(kKeptUnits - 3, kKeptUnits + 3); break;
        default: length = random.Between(0, 1200); break;
    }
    std::wstring id(length, L'\0');
    for (wchar_t& unit : id) {
        unit = random.OneIn(2) ? static_cast<wchar_t>(random.Between(0x20, 0x7E))
                               : static_cast<wchar_t>(random.Between(1, 0xFFFF));
    }
    return id;
}

// A notification's id: the watched one whole or as kept, one unit longer or shorter or changed,
// or any other.
std::wstring NotifiedId(Random& random, const std::wstring& watched) {
    std::wstring id = watched;
    switch (random.Between(0, 5)) {
        case 0: break;
        case 1: id = watched.substr(0, kKeptUnits); break;
        case 2: id += static_cast<wchar_t>(random.Between(1, 0xFFFF)); break;
        case 3:
            if (!id.empty()) {
                id.pop_back();
            }
            break;
        case 4:
            if (!id.empty()) {
                id[random.Between(0, id.size() - 1)] ^= static_cast<wchar_t>(random.Between(1, 3));
            }
            break;
        default: id = AnyId(random); break;
    }
    return id;
}

}  // namespace

bool SweepNotificationIds(const SweepOptions& options) {
    Random random(options.seed ^ 0x6E6F74);
    Tally tally("bad notification ids");
    ProcessHoldings holdings;
    size_t clientsAlive = 0, locksHeld = 0;
    for (size_t i = 0; i < options.count; ++i) {
        SetCurrentInput("bad notification ids", i);
        std::wstring watched = AnyId(random);
        std::wstring notified = NotifiedId(random, watched);

        CEndpointNotifier notifier = {};
        CountingCallbacks first, second;
        SetNotifierEndpoint(&notifier, GuardedText(watched).Get());
        AddEndpointCallback(&notifier, &first);
        AddEndpointCallback(&notifier, &second);
        auto* client = new CDeviceCallback(&notifier);
        PROPERTYKEY key = {
            {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}},
            static_cast<DWORD>(i)};
        HRESULT hr = client->OnPropertyValueChanged(GuardedText(notified).Get(), key);
        if (TryAcquireSRWLockExclusive(&notifier.lock)) {
            ReleaseSRWLockExclusive(&notifier.lock);
        } else {
            ++locksHeld;
        }
        clientsAlive += client->Release() != 0 ? 1 : 0;

        int expected = notified == watched.substr(0, kKeptUnits) ? 1 : 0;
        if (hr != S_OK || first.calls != expected || second.calls != expected ||
            (expected && (first.lastPid != i || second.lastPid != i))) {
            tally.Fail("forwarded " + std::to_string(first.calls) + "/" +
                       std::to_string(second.calls) + " times, expected " +
                       std::to_string(expected) + ": watched \"" + Narrow(watched) +
                       "\", notified \"" + Narrow(notified) + "\"");
        } else {
            tally.Pass();
        }
    }
    tally.LeftBehind("clients alive after their last release", clientsAlive);
    tally.LeftBehind("notifier locks still held", locksHeld);
    holdings.LeftBehindSince(tally);
    return tally.Report(options.count);
}

}  // namespace badinput
