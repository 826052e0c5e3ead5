// Soak: ten thousand commands in one run (box clicks and slider releases, mixed, as a person
// makes them). Whatever the program holds after the first hundred commands it must still hold,
// no more, at the end: handles, GDI and USER objects, windows, the audio service's live COM
// objects and the CoTaskMem blocks the malloc spy sees. A count this machine cannot take is
// reported as not measured.
//   halvo-soak [--short] [--commands N]
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>

#include "bench/Figures.h"
#include "bench/HandleCount.h"
#include "bench/harness/SheetSession.h"
#include "res/resource.h"
#include "sim/audio/LiveObjects.h"
#include "sim/audio/MallocSpy.h"

namespace {

// A count, or -1 where this machine gives no way to take it, as the handle probe says it.
constexpr long kNotCounted = bench::kHandlesNotCounted;

struct Holdings {
    bool taken = false;
    long handles = kNotCounted;
    long gdiObjects = kNotCounted;
    long userObjects = kNotCounted;
    long windows = 0;
    long comObjects = 0;
    long coTaskMemBlocks = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        ++*reinterpret_cast<long*>(count);
        ::EnumChildWindows(window, CountWindow, count);
    }
    return TRUE;
}

// Wine answers GetGuiResources with 0, but takes a GDI handle by its table index alone (the low
// 16 bits), so the live objects can be found by asking each index for its type. A process with
// a window always holds some (the stock objects at least).
long CountGdiObjects() {
    DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (count > 0) {
        return static_cast<long>(count);
    }
    for (ULONG_PTR index = 1; index < 0x10000; ++index) {
        count += ::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    }
    return count > 0 ? static_cast<long>(count) : kNotCounted;
}

// Menus, icons, cursors and hooks have no such probe here: without GetGuiResources, only the
// windows (counted apart) are known.
long CountUserObjects() {
    DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    return count > 0 ? static_cast<long>(count) : kNotCounted;
}

Holdings Count() {
    Holdings now;
    now.taken = true;
    now.handles = bench::CountOpenHandles();
    now.gdiObjects = CountGdiObjects();
    now.userObjects = CountUserObjects();
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&now.windows));
    for (int kind = 0; kind < static_cast<int>(sim::audio::ObjectKind::Count); ++kind) {
        now.comObjects += sim::audio::LiveObjects(static_cast<sim::audio::ObjectKind>(kind));
    }
    now.coTaskMemBlocks = static_cast<long>(sim::audio::LiveCoTaskMemBlocks());
    return now;
}

// Lets go of the Bass Boost thumb at a level, as a person drags it there.
void ReleaseSliderAt(HWND page, int level) {
    HWND slider = bench::Control(page, IDC_BASS_BOOST);
    RECT thumb, channel;
    ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    int y = (thumb.top + thumb.bottom) / 2;
    int x = channel.left + (channel.right - channel.left) * level / 6;
    ::PostMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON,
                   MAKELPARAM((thumb.left + thumb.right) / 2, y));
    ::PostMessageW(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// The gain of one holding; a holding that could not be counted at either point is not measured,
// and does not count against the soak. A soak of no more than the first hundred commands has
// nothing to compare: no samples.
bool Print(const char* what, bool taken, long first, long last, const char* notCountedWhy = "") {
    std::string figure = std::string("soak: ") + what + " gained";
    if (!taken) {
        return bench::Figure(figure.c_str(), bench::NoValue(), "", bench::Goal::AtMost, 0);
    }
    if (first == kNotCounted || last == kNotCounted) {
        bench::NotMeasured(figure.c_str(), notCountedWhy);
        return true;
    }
    std::printf("%-28s after 100: %-8ld at the end: %ld\n", what, first, last);
    return bench::Figure(figure.c_str(), static_cast<double>(last - first), "", bench::Goal::AtMost,
                         0);
}

int Measure(int commands) {
    bench::SheetSession session;
    std::atomic<int> writes{0};
    session.Service().SetWriteObserver(
        [&](const sim::audio::WriteRecord&) { writes.fetch_add(1); });

    Holdings first, last;
    int unanswered = 0;
    bool ran = session.Run([&](HWND, HWND page) {
        for (int i = 0; i < commands; ++i) {
            int before = writes.load();
            if (i % 3 == 2 && bench::Checked(page, IDC_NATURAL_BASS)) {
                ReleaseSliderAt(page, (i / 3) % 7);
            } else {
                bench::Click(page, i % 2 ? IDC_NATURAL_BASS : IDC_SOUND_SPACE_EXPANDER);
            }
            DWORD start = ::GetTickCount();
            while (writes.load() == before && ::GetTickCount() - start < 2000) {
                ::Sleep(0);
            }
            unanswered += writes.load() == before;
            if (i + 1 == 100) {
                ::Sleep(400);  // past every refresh the commands set off
                first = Count();
            } else if (i + 1 == commands && i + 1 > 100) {
                ::Sleep(400);
                last = Count();
            }
        }
    });
    session.Service().SetWriteObserver(nullptr);
    if (!ran) {
        std::fprintf(stderr, "the sheet was not shown\n");
        return 1;
    }
    std::printf("%d commands, %d writes, %d commands that wrote nothing\n", commands, writes.load(),
                unanswered);
    bool taken = first.taken && last.taken;
    bool held = Print("handles", taken, first.handles, last.handles,
                      "neither GetProcessHandleCount nor a probe of the handle values finds any");
    held &= Print("GDI objects", taken, first.gdiObjects, last.gdiObjects,
                  "neither GetGuiResources nor a probe of the GDI handle table finds any");
    held &= Print("USER objects", taken, first.userObjects, last.userObjects,
                  "GetGuiResources answers 0 here; the windows are counted apart");
    held &= Print("windows", taken, first.windows, last.windows);
    held &= Print("live COM objects", taken, first.comObjects, last.comObjects);
    held &= Print("CoTaskMem blocks", taken, first.coTaskMemBlocks, last.coTaskMemBlocks);
    bench::CountFigure("soak: commands that wrote nothing", unanswered,
                       static_cast<size_t>(commands), "commands", bench::Goal::Equal, 0);
    return held && unanswered == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::SheetBenchmarkMain(argc, argv, L"--commands", 10000, 300, Measure);
}
