#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "sim/audio/AudioService.h"
#include "sim/machine/Bench.h"

namespace bench {

// The sheet as the program's own start-up shows it against the default simulated laptop, on the
// calling thread (in the multithreaded apartment, as halvo-sim runs it), while work runs on a
// second thread as another program or a person would act.
class SheetSession {
public:
    SheetSession();
    SheetSession(const SheetSession&) = delete;
    SheetSession& operator=(const SheetSession&) = delete;
    ~SheetSession();

    sim::audio::AudioService& Service() { return m_bench->Service(); }
    // The laptop's speakers: the endpoint the sheet configures.
    const std::wstring& Speakers() const { return m_speakers; }

    // Runs start-up. Once the sheet's first paint is done, `work` gets the sheet and its page on
    // a thread of its own; when it returns the sheet is closed with OK. Returns whether the sheet
    // was shown and closed.
    bool Run(const std::function<void(HWND sheet, HWND page)>& work);

private:
    std::unique_ptr<sim::machine::Bench> m_bench;
    std::wstring m_speakers;
};

// The main of a sheet benchmark: it measures `fullCount` times, `shortCount` with --short, or as
// many as `countFlag N` says. The thread joins the multithreaded apartment and the malloc spy
// watches CoTaskMem from the start, as in halvo-sim and the tests.
int SheetBenchmarkMain(int argc, wchar_t** argv, const wchar_t* countFlag, int fullCount,
                       int shortCount, int (*measure)(int count));

// A control of the page, and a click on it as a person makes it, from any thread.
HWND Control(HWND page, int id);
void Click(HWND page, int id);
bool Checked(HWND page, int id);
int SliderPosition(HWND page);

}  // namespace bench
