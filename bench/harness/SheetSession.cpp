#include "bench/harness/SheetSession.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <thread>

#include "app/PropertyPageApp.h"
#include "sim/machine/Instrument.h"
#include "res/resource.h"
#include "sim/audio/MallocSpy.h"
#include "sim/machine/MachineState.h"

namespace bench {

SheetSession::SheetSession() {
    sim::machine::MachineState machine = sim::machine::DefaultMachine();
    m_speakers = machine.endpoints.front().id;
    m_bench = std::make_unique<sim::machine::Bench>(machine);
}

SheetSession::~SheetSession() = default;

bool SheetSession::Run(const std::function<void(HWND sheet, HWND page)>& work) {
    std::thread worker;
    bool shown = false;
    WatchFirstPaint([&](HWND sheet, const FirstPaint&) {
        shown = true;
        HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        worker = std::thread([&work, sheet, page] {
            work(sheet, page);
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
    });
    CPropertyPageApp app;
    app.InitInstance();
    app.ExitInstance();
    WatchFirstPaint(nullptr);  // a sheet that never came leaves no watch behind
    if (worker.joinable()) {
        worker.join();
    }
    return shown;
}

int SheetBenchmarkMain(int argc, wchar_t** argv, const wchar_t* countFlag, int fullCount,
                       int shortCount, int (*measure)(int count)) {
    int count = fullCount;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--short") == 0) {
            count = shortCount;
        } else if (std::wcscmp(argv[i], countFlag) == 0 && i + 1 < argc) {
            count = std::max(0, _wtoi(argv[++i]));
        }
    }
    HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    sim::audio::InstallMallocSpy();
    int result = measure(count);
    if (SUCCEEDED(init)) {
        ::CoUninitialize();
    }
    return result;
}

HWND Control(HWND page, int id) {
    return ::GetDlgItem(page, id);
}

void Click(HWND page, int id) {
    ::SendMessageW(Control(page, id), BM_CLICK, 0, 0);
}

bool Checked(HWND page, int id) {
    return ::SendMessageW(Control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int SliderPosition(HWND page) {
    return static_cast<int>(::SendMessageW(Control(page, IDC_BASS_BOOST), TBM_GETPOS, 0, 0));
}

}  // namespace bench
