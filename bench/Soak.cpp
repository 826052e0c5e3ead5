// Soak: ten thousand commands in one run (box clicks and slider releases, mixed, as a person
// makes them). Whatever the program holds after the first hundred commands it must still hold,
// no more, at the end: handles, GDI and USER objects, the audio service's live COM objects and
// the CoTaskMem blocks the malloc spy sees.
//   halvo-soak [--short] [--commands N]
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>

#include "bench/Figures.h"
#include "bench/harness/SheetSession.h"
#include "res/resource.h"
#include "sim/audio/LiveObjects.h"
#include "sim/audio/MallocSpy.h"

namespace {

struct Holdings {
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    int windows = 0;  // the USER objects Wine can count
    int comObjects = 0;
    size_t coTaskMemBlocks = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(count);
        ::EnumChildWindows(window, CountWindow, count);
    }
    return TRUE;
}

// Wine answers GetProcessHandleCount with 0: ask for each handle value in turn instead.
DWORD CountHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) {
        return count;
    }
    for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

Holdings Count() {
    Holdings now;
    now.handles = CountHandles();
    now.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    now.userObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&now.windows));
    for (int kind = 0; kind < static_cast<int>(sim::audio::ObjectKind::Count); ++kind) {
        now.comObjects += sim::audio::LiveObjects(static_cast<sim::audio::ObjectKind>(kind));
    }
    now.coTaskMemBlocks = sim::audio::LiveCoTaskMemBlocks();
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

bool Print(const char* what, double first, double last) {
    std::printf("%-28s after 100: %-8.0f at the end: %.0f\n", what, first, last);
    return bench::Figure((std::string("soak: ") + what + " gained").c_str(), last - first, "",
                         bench::Goal::AtMost, 0);
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
            if (i + 1 == 100 || i + 1 == commands) {
                ::Sleep(400);  // past every refresh the commands set off
                (i + 1 == 100 ? first : last) = Count();
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
    bool held = Print("handles", first.handles, last.handles);
    held &= Print("GDI objects", first.gdiObjects, last.gdiObjects);
    held &= Print("USER objects", first.userObjects, last.userObjects);
    held &= Print("windows", first.windows, last.windows);
    held &= Print("live COM objects", first.comObjects, last.comObjects);
    held &= Print("CoTaskMem blocks", static_cast<double>(first.coTaskMemBlocks),
                  static_cast<double>(last.coTaskMemBlocks));
    if (first.gdiObjects == 0 && first.userObjects == 0) {
        std::printf("(GetGuiResources answers 0 here: Wine does not count GDI and USER objects)\n");
    }
    bench::Figure("soak: commands that wrote nothing", unanswered, "", bench::Goal::Equal, 0);
    return held && unanswered == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return bench::SheetBenchmarkMain(argc, argv, L"--commands", 10000, 300, Measure);
}
