#include "bench/sweep/ScriptedUse.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "app/PropertyPageApp.h"
#include "bench/sweep/CrashGuard.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"
#include "sim/machine/EffectKeys.h"
#include "sim/platform/CallSweep.h"

namespace keys = sim::keys;

namespace sweep {

namespace {

using sim::audio::Store;
using sim::audio::Value;

constexpr UINT kTickMilliseconds = 5;
// Ticks without a refresh due before the page counts as at rest: longer than its own rest.
constexpr int kQuietTicks = 4;
// A step that has not come to rest by then is reported, and the script goes on.
constexpr DWORD kStepLimitMilliseconds = 5000;

// The boxes by control id.
int ControlOf(Box box) {
    switch (box) {
        case Box::Expander: return IDC_SOUND_SPACE_EXPANDER;
        case Box::Headphone: return IDC_HEADPHONE;
        case Box::NaturalBass: return IDC_NATURAL_BASS;
    }
    return 0;
}

constexpr wchar_t kDriverClass[] = L"HalvoSweepScript";
constexpr UINT_PTR kTickTimer = 1;

std::string Narrow(const wchar_t* text) {
    char out[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::string Describe(HWND window) {
    wchar_t className[64] = {}, caption[128] = {};
    ::GetClassNameW(window, className, 64);
    ::GetWindowTextW(window, caption, 128);
    return Narrow(className) + " \"" + Narrow(caption) + "\"";
}

// The scripted use in progress on this thread. A timer of the script's own window moves it on
// from inside whatever message loop runs, the sheet's or any other window's; the window's
// procedure is called as any window's is, so an exception in a step is not caught on its way.
class ScriptDriver {
public:
    ScriptDriver(sim::machine::Bench& bench, CPropertyPageApp& app) : m_bench(bench), m_app(app) {}

    void Start() {
        t_current = this;
        result.partCalls.push_back(sim::call_sweep::RecordedCalls().size());
        result.partWrites.push_back(m_bench.Service().Writes().size());
        SetCrashPlace(PartName(0));
        m_hook = ::SetWindowsHookExW(WH_CBT, &ScriptDriver::OnCbt, nullptr, ::GetCurrentThreadId());
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &ScriptDriver::DriverProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kDriverClass;
        ::RegisterClassW(&windowClass);
        m_window = ::CreateWindowExW(0, kDriverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, nullptr);
        ::SetTimer(m_window, kTickTimer, kTickMilliseconds, nullptr);
    }

    void Finish() {
        ::DestroyWindow(m_window);
        if (m_hook) {
            ::UnhookWindowsHookEx(m_hook);
        }
        t_current = nullptr;
        for (const auto& [window, description] : m_activated) {
            if (window != m_sheet &&
                std::find(m_unexpected.begin(), m_unexpected.end(), window) == m_unexpected.end()) {
                m_unexpected.push_back(window);
                result.otherWindows.push_back(description);
            }
        }
        // Anything the program left on screen is reported by the run's own checks.
    }

    ScriptedUseResult result;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
        ScriptDriver* self = t_current;
        if (self && code == HCBT_ACTIVATE) {
            self->Activated(reinterpret_cast<HWND>(wParam));
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        ScriptDriver* self = t_current;
        if (message != WM_TIMER || wParam != kTickTimer || !self) {
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        if (self->m_inTick) {
            // A step's own call runs a message loop, a message box's perhaps: it is closed, and
            // the script goes on when the step returns.
            self->CloseOtherWindows();
            return 0;
        }
        self->m_inTick = true;
        self->Tick();
        self->m_inTick = false;
        return 0;
    }

    void CloseOtherWindows() {
        ::EnumThreadWindows(::GetCurrentThreadId(), &ScriptDriver::VisitWindow,
                            reinterpret_cast<LPARAM>(this));
    }

    HWND Sheet() const {
        CWnd* main = m_app.m_pMainWnd;
        return main && main->m_hWnd && ::IsWindow(main->m_hWnd) ? main->m_hWnd : nullptr;
    }

    // A window is being activated: the sheet, or one that should not be there. Which of the two
    // is told at the end, once the sheet has had its handle.
    void Activated(HWND window) {
        // Other programs' windows, which come and go on the same display, are not this one's.
        if (window && !(::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) &&
            ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
            m_activated.emplace_back(window, Describe(window));
        }
    }

    void Unexpected(HWND window) {
        for (HWND seen : m_unexpected) {
            if (seen == window) {
                // Still there: a box whose only button is OK.
                ::PostMessageW(window, WM_COMMAND, IDOK, 0);
                return;
            }
        }
        m_unexpected.push_back(window);
        result.otherWindows.push_back(Describe(window));
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }

    static BOOL CALLBACK VisitWindow(HWND window, LPARAM lParam) {
        auto* self = reinterpret_cast<ScriptDriver*>(lParam);
        // While the sheet is being made it has no handle yet: nothing is judged meanwhile.
        bool sheetComing = self->m_app.m_pMainWnd && !self->Sheet();
        if (!sheetComing && ::IsWindowVisible(window) && window != self->Sheet() &&
            window != self->m_sheet) {
            self->Unexpected(window);
        }
        return TRUE;
    }

    void Tick() {
        CloseOtherWindows();
        HWND sheet = Sheet();
        if (!sheet || m_closing) {
            return;
        }
        if (!result.sheetShown) {
            result.sheetShown = true;
            m_sheet = sheet;
            m_stepStart = ::GetTickCount();
        }
        HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (!AtRest()) {
            if (::GetTickCount() - m_stepStart > kStepLimitMilliseconds) {
                result.problems.push_back("the page did not come to rest after " +
                                          PartName(m_next));
                m_quiet = kQuietTicks;
            } else {
                return;
            }
        }
        m_stepStart = ::GetTickCount();
        m_quiet = 0;
        const std::vector<ScriptStep>& script = Script();
        if (!page) {
            result.problems.push_back("the sheet shows no page");
            m_closing = true;
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            return;
        }
        if (m_next == script.size()) {
            return;
        }
        const ScriptStep& step = script[m_next++];
        result.partCalls.push_back(sim::call_sweep::RecordedCalls().size());
        result.partWrites.push_back(m_bench.Service().Writes().size());
        SetCrashPlace(PartName(m_next));
        ++result.stepsDone;
        Do(step, sheet, page);
    }

    // Every change told has reached the page and been read, for a few ticks running.
    bool AtRest() {
        m_bench.Service().FlushNotifications();
        bool due = g_pEndpointCallbacks && g_pEndpointCallbacks->refresh->AnyPending();
        m_quiet = due ? 0 : m_quiet + 1;
        return m_quiet >= kQuietTicks;
    }

    void Do(const ScriptStep& step, HWND sheet, HWND page) {
        switch (step.kind) {
            case StepKind::Click:
                ::SendMessageW(::GetDlgItem(page, ControlOf(step.box)), BM_CLICK, 0, 0);
                break;
            case StepKind::Slide: Slide(::GetDlgItem(page, IDC_BASS_BOOST), step.position); break;
            case StepKind::Outside:
                m_bench.Service().ChangeFromOutside(Store::Fx, kSpeakers, step.key,
                                                    Value::UInt32(step.word));
                break;
            case StepKind::Jack: PlugFrontHeadphones(); break;
            case StepKind::Close:
                m_closing = true;
                ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
                break;
        }
        // Every change the step caused is told before the page handles any of them, so that each
        // run of the script sees the same refreshes.
        m_bench.Service().FlushNotifications();
    }

    // A drag of the thumb, as the mouse makes it: the trackbar tells the page when it is let go.
    static void Slide(HWND slider, int position) {
        RECT thumb = {}, channel = {};
        ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        int grabX = (thumb.left + thumb.right) / 2;
        int y = (thumb.top + thumb.bottom) / 2;
        int targetX = channel.left + (channel.right - channel.left) * position / 6;
        ::PostMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grabX, y));
        ::PostMessageW(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(targetX, y));
        ::PostMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(targetX, y));
    }

    // As `halvo-sim plug front-headphones` does: the driver answers anew, and every endpoint hears
    // of the jack.
    void PlugFrontHeadphones() {
        sim::driver::ScopedCodecDriver& driver = m_bench.Driver();
        driver.SetJackStatus(kPluggedJack);
        driver.SetRetasking(kPluggedRetasking[0], kPluggedRetasking[1]);
        driver.SetChipRetasking(kPluggedChipRetasking[0], kPluggedChipRetasking[1]);
        for (const auto& endpoint : sim::machine::DefaultMachine().endpoints) {
            m_bench.Service().Notify(endpoint.id, keys::JackChange);
        }
    }

    static thread_local ScriptDriver* t_current;

    sim::machine::Bench& m_bench;
    CPropertyPageApp& m_app;
    HHOOK m_hook = nullptr;
    HWND m_window = nullptr;
    bool m_inTick = false;
    bool m_closing = false;
    size_t m_next = 0;
    int m_quiet = 0;
    DWORD m_stepStart = 0;
    HWND m_sheet = nullptr;
    std::vector<HWND> m_unexpected;
    std::vector<std::pair<HWND, std::string>> m_activated;
};

thread_local ScriptDriver* ScriptDriver::t_current = nullptr;

}  // namespace

ScriptedUseResult RunScriptedUse(sim::machine::Bench& bench) {
    CPropertyPageApp app;
    ScriptDriver driver(bench, app);
    driver.Start();
    app.InitInstance();
    app.ExitInstance();
    driver.Finish();
    return driver.result;
}

}  // namespace sweep
