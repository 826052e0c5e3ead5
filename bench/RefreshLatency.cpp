// Refresh latency in-process: another thread changes the stored Natural Bass word through the
// audio service, as another program would, and the time until the change is shown is taken
// inside the sheet's thread. Shown means the page has set the Bass Boost slider to the new level
// (TBM_SETPOS returned with it). Each change waits until the page is at rest again, as changes
// made by a person in another program are. A latency below 0 would mean the clocks or the
// matching are wrong: such samples are counted and fail the run.
//   halvo-refresh-latency [--short] [--changes N]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "bench/Figures.h"
#include "bench/harness/SheetSession.h"
#include "sim/machine/Instrument.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace {

int Measure(int changes) {
    bench::SheetSession session;
    std::atomic<int> expected{-1};
    std::atomic<int64_t> shownAt{0};
    HANDLE shown = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bench::WatchSlider([&](HWND, int position, int64_t at) {
        if (position == expected.load()) {
            shownAt.store(at);
            ::SetEvent(shown);
        }
    });

    std::vector<double> latencies;
    int lost = 0;
    int negative = 0;
    bool ran = session.Run([&](HWND, HWND page) {
        int level = bench::SliderPosition(page);
        for (int i = 0; i < changes; ++i) {
            level = (level + 1 + i % 5) % 7;  // always a different level
            expected.store(level);
            int64_t changedAt = bench::UnixNanoseconds();
            session.Service().ChangeFromOutside(sim::audio::Store::Fx, session.Speakers(),
                                                keys::NaturalBass,
                                                sim::audio::Value::UInt32(0x80000000 | level << 8));
            if (::WaitForSingleObject(shown, 2000) != WAIT_OBJECT_0) {
                ++lost;
                continue;
            }
            double latency = static_cast<double>(shownAt.load() - changedAt) / 1e6;
            if (latency < 0) {
                ++negative;
                continue;
            }
            latencies.push_back(latency);
            ::Sleep(20);  // past the page's rest after a refresh
        }
    });
    ::CloseHandle(shown);
    if (!ran) {
        std::fprintf(stderr, "the sheet was not shown\n");
        return 1;
    }
    std::printf("%d changes, %zu shown, %d not shown within 2 s, %d shown before their change\n",
                changes, latencies.size(), lost, negative);
    std::printf("shown: the Bass Boost slider set to the new level\n");
    bench::Figure("in-process refresh p50", bench::Quantile(latencies, 0.50), "ms");
    // A missed target is printed, not fatal; the run fails only when a change was lost or a
    // sample is not to be trusted.
    bench::Figure("in-process refresh p99", bench::Quantile(latencies, 0.99), "ms",
                  bench::Goal::AtMost, 10);
    bench::CountFigure("in-process changes not shown", lost, static_cast<size_t>(changes),
                       "changes", bench::Goal::Equal, 0);
    bench::CountFigure("in-process samples below 0", negative,
                       static_cast<size_t>(changes - lost), "samples", bench::Goal::Equal, 0);
    bench::Figure("in-process refresh max", bench::Quantile(latencies, 1.0), "ms");
    return lost == 0 && negative == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::SheetBenchmarkMain(argc, argv, L"--changes", 1000, 50, Measure);
}
