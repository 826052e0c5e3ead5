#include "bench/sweep/ScriptedUse.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "app/PropertyPageApp.h"
#include "sim/machine/EffectKeys.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"

namespace keys = sim::keys;

namespace sweep {

const wchar_t kSpeakers[] = L"{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}";

namespace {

using sim::audio::Store;
using sim::audio::Value;

constexpr UINT kTickMilliseconds = 5;
// Ticks without a refresh due before the page counts as at rest: longer than its own rest.
constexpr int kQuietTicks = 4;
// A step that has not come to rest by then is reported, and the script goes on.
constexpr DWORD kStepLimitMilliseconds = 5000;

enum class Kind { Click, Slide, Outside, Jack };

struct Step {
    const char* name;
    Kind kind;
    int control = 0;       // Click: the box
    int position = 0;      // Slide: where the thumb is let go, 0..6
    PROPERTYKEY key = {};  // Outside: the word another program writes
    DWORD word = 0;
};

// Ten commands, three changes by another program and a jack change, which turns the page to its
// headphone face; OK closes the sheet after the last.
const Step kSteps[] = {
    {"click Sound Space Expander", Kind::Click, IDC_SOUND_SPACE_EXPANDER},
    {"click Natural Bass", Kind::Click, IDC_NATURAL_BASS},
    {"slide Bass Boost to 3", Kind::Slide, 0, 3},
    {"another program writes Natural Bass", Kind::Outside, 0, 0, keys::NaturalBass, 0x80000513},
    {"click Sound Space Expander", Kind::Click, IDC_SOUND_SPACE_EXPANDER},
    {"slide Bass Boost to 6", Kind::Slide, 0, 6},
    {"another program writes Sound Space Expander", Kind::Outside, 0, 0,
     keys::SoundSpaceExpander, 0x00000001},
    {"click Natural Bass", Kind::Click, IDC_NATURAL_BASS},
    {"headphones plugged into the front jack", Kind::Jack},
    {"click Halvo Headphone", Kind::Click, IDC_HEADPHONE},
    {"slide Bass Boost to 1", Kind::Slide, 0, 1},
    {"another program writes Halvo Headphone", Kind::Outside, 0, 0, keys::Headphone, 0x80000211},
    {"click Natural Bass", Kind::Click, IDC_NATURAL_BASS},
    {"click Halvo Headphone", Kind::Click, IDC_HEADPHONE},
};
constexpr int kStepCount = sizeof kSteps / sizeof kSteps[0];

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

// The scripted use in progress on this thread: a thread timer moves it on from inside whatever
// message loop runs, the sheet's or any other window's.
class Script {
public:
    Script(sim::machine::Bench& bench, CPropertyPageApp& app) : m_bench(bench), m_app(app) {}

    void Start() {
        t_current = this;
        m_hook = ::SetWindowsHookExW(WH_CBT, &Script::OnCbt, nullptr, ::GetCurrentThreadId());
        m_timer = ::SetTimer(nullptr, 0, kTickMilliseconds, &Script::OnTick);
    }

    void Finish() {
        ::KillTimer(nullptr, m_timer);
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
        Script* self = t_current;
        if (self && code == HCBT_ACTIVATE) {
            self->Activated(reinterpret_cast<HWND>(wParam));
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
        Script* self = t_current;
        if (!self) {
            return;
        }
        if (self->m_inTick) {
            // A step's own call runs a message loop, a message box's perhaps: it is closed, and
            // the script goes on when the step returns.
            self->CloseOtherWindows();
            return;
        }
        self->m_inTick = true;
        self->Tick();
        self->m_inTick = false;
    }

    void CloseOtherWindows() {
        ::EnumThreadWindows(::GetCurrentThreadId(), &Script::VisitWindow,
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
        auto* self = reinterpret_cast<Script*>(lParam);
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
                result.problems.push_back(std::string("the page did not come to rest after ") +
                                          (m_next ? kSteps[m_next - 1].name : "start-up"));
                m_quiet = kQuietTicks;
            } else {
                return;
            }
        }
        m_stepStart = ::GetTickCount();
        m_quiet = 0;
        if (m_next == kStepCount || !page) {
            m_closing = true;
            ++result.stepsDone;
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            return;
        }
        Do(kSteps[m_next++], page);
        ++result.stepsDone;
    }

    // Every change told has reached the page and been read, for a few ticks running.
    bool AtRest() {
        m_bench.Service().FlushNotifications();
        bool due = g_pEndpointCallbacks && g_pEndpointCallbacks->AnyPending();
        m_quiet = due ? 0 : m_quiet + 1;
        return m_quiet >= kQuietTicks;
    }

    void Do(const Step& step, HWND page) {
        switch (step.kind) {
            case Kind::Click:
                ::SendMessageW(::GetDlgItem(page, step.control), BM_CLICK, 0, 0);
                break;
            case Kind::Slide: Slide(::GetDlgItem(page, IDC_BASS_BOOST), step.position); break;
            case Kind::Outside:
                m_bench.Service().ChangeFromOutside(Store::Fx, kSpeakers, step.key,
                                                    Value::UInt32(step.word));
                break;
            case Kind::Jack: PlugFrontHeadphones(); break;
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
        driver.SetJackStatus(0x0010);
        driver.SetRetasking(2, 1);
        driver.SetChipRetasking(0, 3);
        for (const auto& endpoint : sim::machine::DefaultMachine().endpoints) {
            m_bench.Service().Notify(endpoint.id, keys::JackChange);
        }
    }

    static thread_local Script* t_current;

    sim::machine::Bench& m_bench;
    CPropertyPageApp& m_app;
    HHOOK m_hook = nullptr;
    UINT_PTR m_timer = 0;
    bool m_inTick = false;
    bool m_closing = false;
    int m_next = 0;
    int m_quiet = 0;
    DWORD m_stepStart = 0;
    HWND m_sheet = nullptr;
    std::vector<HWND> m_unexpected;
    std::vector<std::pair<HWND, std::string>> m_activated;
};

thread_local Script* Script::t_current = nullptr;

}  // namespace

std::vector<std::string> ScriptSteps() {
    std::vector<std::string> names;
    for (const Step& step : kSteps) {
        names.push_back(step.name);
    }
    names.push_back("OK");
    return names;
}

ScriptedUseResult RunScriptedUse(sim::machine::Bench& bench) {
    CPropertyPageApp app;
    Script script(bench, app);
    script.Start();
    app.InitInstance();
    app.ExitInstance();
    script.Finish();
    return script.result;
}

}  // namespace sweep
