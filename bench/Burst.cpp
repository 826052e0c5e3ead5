// Burst: while the sheet is open, another thread changes the stored Natural Bass word as fast as
// the audio service takes changes, and a person keeps clicking the Sound Space Expander box.
// The page must end showing the last stored word (no refresh lost), soon after the last change,
// and answer every click quickly meanwhile.
//   halvo-burst [--short] [--changes N]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/Figures.h"
#include "bench/harness/SheetSession.h"
#include "sim/machine/Instrument.h"
#include "sim/machine/EffectKeys.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"

namespace keys = sim::keys;

namespace {

// Every word of the burst has Natural Bass on and a level below 6; the last one has it off at
// level 6, so the page shows it only once it has read the last change.
constexpr DWORD kLastWord = 0x00000600;

int Measure(int changes) {
    bench::SheetSession session;
    std::atomic<int> refreshes{0};
    bench::WatchSlider([&](HWND, int, int64_t) { refreshes.fetch_add(1); });

    std::vector<double> clicks;
    double settleMs = -1;
    double changesPerSecond = 0;
    bool pendingAfter = true;
    int refreshesDuringBurst = 0;
    bool ran = session.Run([&](HWND, HWND page) {
        std::atomic<bool> bursting{true};
        std::thread person([&] {
            while (bursting.load()) {
                int64_t start = bench::UnixNanoseconds();
                DWORD_PTR answer = 0;
                ::SendMessageTimeoutW(bench::Control(page, IDC_SOUND_SPACE_EXPANDER), BM_CLICK, 0,
                                      0, SMTO_NORMAL, 5000, &answer);
                clicks.push_back(static_cast<double>(bench::UnixNanoseconds() - start) / 1e6);
                ::Sleep(25);
            }
        });
        refreshes.store(0);
        int64_t burstStart = bench::UnixNanoseconds();
        for (int i = 0; i < changes; ++i) {
            DWORD word = i + 1 == changes ? kLastWord : 0x80000000 | (i % 6) << 8 | (i & 0xFF);
            session.Service().ChangeFromOutside(sim::audio::Store::Fx, session.Speakers(),
                                                keys::NaturalBass,
                                                sim::audio::Value::UInt32(word));
        }
        int64_t lastChange = bench::UnixNanoseconds();
        bursting.store(false);
        person.join();
        changesPerSecond = changes / (static_cast<double>(lastChange - burstStart) / 1e9);
        refreshesDuringBurst = refreshes.load();

        while (bench::UnixNanoseconds() - lastChange < 5'000'000'000LL) {
            if (bench::SliderPosition(page) == 6 && !bench::Checked(page, IDC_NATURAL_BASS)) {
                settleMs = static_cast<double>(bench::UnixNanoseconds() - lastChange) / 1e6;
                break;
            }
            ::Sleep(1);
        }
        ::Sleep(300);
        pendingAfter = g_pEndpointCallbacks && g_pEndpointCallbacks->AnyPending();
    });
    if (!ran) {
        std::fprintf(stderr, "the sheet was not shown\n");
        return 1;
    }
    std::printf("%d changes at %.0f changes/s; the page refreshed %d times meanwhile; %zu clicks\n",
                changes, changesPerSecond, refreshesDuringBurst, clicks.size());
    bool met = true;
    if (settleMs < 0) {
        std::printf("the page never showed the last stored word\n");
        met = false;
    } else {
        met &= bench::Figure("burst: last word shown after", settleMs, "ms", bench::Goal::AtMost,
                             1000);
    }
    met &= bench::Figure("burst: changes left unread", pendingAfter ? 1 : 0, "", bench::Goal::Equal,
                         0);
    bench::Figure("burst: click answered p50", bench::Median(clicks), "ms");
    met &= bench::Figure("burst: click answered max", bench::Quantile(clicks, 1.0), "ms",
                         bench::Goal::AtMost, 100);
    return settleMs < 0 || pendingAfter ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::SheetBenchmarkMain(argc, argv, L"--changes", 50000, 5000, Measure);
}
