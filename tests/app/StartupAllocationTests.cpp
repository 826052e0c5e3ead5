// The program under a failing allocator: every allocation it makes on its thread from the start of
// InitInstance until it returns (start-up, the sheet and its page coming up, a person's commands,
// shutdown) is failed one at a time. This program replaces the global operator new, so it runs
// alone; the stand-ins' own allocations are told apart by their code (the namespace sim) on the
// call stack, and never fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "res/resource.h"
#include "page/DeviceCallback.h"
#include "tests/app/AppFixture.h"

namespace {

// Where the stand-ins' code and the framework's temporary wrappers lie in this program: the
// functions of its symbol table, in address order, each marked by what it is.
class ProgramCode {
public:
    enum Kind { Other, StandIn, TemporaryWrapper };

    ProgramCode() {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::ifstream file(path, std::ios::binary);
        std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        auto at = [&](size_t offset, auto* out) {
            if (offset + sizeof *out <= image.size()) {
                std::memcpy(out, image.data() + offset, sizeof *out);
            }
        };
        LONG peOffset = 0;
        at(offsetof(IMAGE_DOS_HEADER, e_lfanew), &peOffset);
        IMAGE_FILE_HEADER header = {};
        at(peOffset + 4, &header);
        size_t sections = peOffset + 4 + sizeof header + header.SizeOfOptionalHeader;
        size_t strings = header.PointerToSymbolTable + header.NumberOfSymbols * 18;
        auto base = reinterpret_cast<ULONG_PTR>(::GetModuleHandleW(nullptr));
        for (DWORD i = 0; i < header.NumberOfSymbols; ++i) {
            size_t offset = header.PointerToSymbolTable + i * 18;
            IMAGE_SYMBOL symbol = {};
            at(offset, &symbol);
            i += symbol.NumberOfAuxSymbols;
            IMAGE_SECTION_HEADER section = {};
            if (symbol.SectionNumber <= 0 || symbol.SectionNumber > header.NumberOfSections) {
                continue;
            }
            at(sections + (symbol.SectionNumber - 1) * sizeof section, &section);
            if (!(section.Characteristics & IMAGE_SCN_CNT_CODE)) {
                continue;
            }
            std::string name =
                symbol.N.Name.Short
                    ? std::string(reinterpret_cast<char*>(symbol.N.ShortName),
                                  strnlen(reinterpret_cast<char*>(symbol.N.ShortName), 8))
                    : std::string(image.data() +
                                  std::min(image.size() - 1, strings + symbol.N.Name.Long));
            m_functions.push_back({base + section.VirtualAddress + symbol.Value, KindOf(name)});
        }
        std::sort(m_functions.begin(), m_functions.end(),
                  [](const Function& a, const Function& b) { return a.start < b.start; });
    }

    bool Known() const { return !m_functions.empty(); }

    // Whether any frame of the calling stack is in code of that kind. Allocates nothing.
    bool OnTheStack(Kind kind) const {
        void* frames[62];
        USHORT count = ::RtlCaptureStackBackTrace(1, 62, frames, nullptr);
        for (USHORT i = 0; i < count; ++i) {
            auto address = reinterpret_cast<ULONG_PTR>(frames[i]);
            auto next =
                std::upper_bound(m_functions.begin(), m_functions.end(), address,
                                 [](ULONG_PTR a, const Function& f) { return a < f.start; });
            if (next != m_functions.begin() && std::prev(next)->kind == kind) {
                return true;
            }
        }
        return false;
    }

private:
    static Kind KindOf(const std::string& mangled) {
        if (mangled.rfind("_Z", 0) == 0 && mangled.find("N3sim") != std::string::npos) {
            return StandIn;
        }
        // CWnd::FromHandle and CMenu::FromHandle, which keep a wrapper per handle.
        if (mangled.rfind("_ZN4CWnd10FromHandleE", 0) == 0 ||
            mangled.rfind("_ZN5CMenu10FromHandleE", 0) == 0) {
            return TemporaryWrapper;
        }
        return Other;
    }

    struct Function {
        ULONG_PTR start;
        Kind kind;
    };
    std::vector<Function> m_functions;
};

// A block the program allocated in a run and has not freed.
struct Block {
    void* address;
    size_t number;  // its place among the run's counted allocations, from 1
    size_t size;
    bool temporaryWrapper;  // allocated for a framework's temporary wrapper
};

// Whether a block holds a notification client: its first word is the client's table.
bool HoldsClient(const Block& block) {
    static void* const table = [] {
        CDeviceCallback probe(nullptr);
        return *reinterpret_cast<void**>(&probe);
    }();
    return block.size >= sizeof(void*) && *static_cast<void**>(block.address) == table;
}

// The one rule for what may outlive InitInstance: the framework's temporary window and menu
// wrappers, which last as long as the thread, and the notification client once it was registered,
// which a service thread may still call after its unregistration. Everything else the program
// allocated in the run is freed by the time InitInstance returns.
bool KeptOnPurpose(const Block& block, bool clientRegistered) {
    return block.temporaryWrapper || (clientRegistered && HoldsClient(block));
}

// The allocator's state: which thread it watches, whether it counts or fails the nth allocation
// the program makes there, where the first window came, and the blocks it counted that are still
// alive.
struct Watch {
    const ProgramCode* code = nullptr;
    DWORD thread = 0;
    HWND firstWindow = nullptr;
    size_t countedBeforeWindow = 0;
    size_t counted = 0;
    size_t failAt = 0;  // 0: count only
    Block alive[256] = {};
    bool aliveOverflowed = false;
} g_watch;

// Whether this allocation is the program's; counts it if so, and says whether it is the one to
// fail.
bool CountAndFail(bool* counted) {
    *counted =
        g_watch.thread == ::GetCurrentThreadId() && !g_watch.code->OnTheStack(ProgramCode::StandIn);
    return *counted && ++g_watch.counted == g_watch.failAt;
}

void Note(void* block, size_t size) {
    for (Block& slot : g_watch.alive) {
        if (!slot.address) {
            slot = {block, g_watch.counted, size,
                    g_watch.code->OnTheStack(ProgramCode::TemporaryWrapper)};
            return;
        }
    }
    g_watch.aliveOverflowed = true;
}

void* Allocate(size_t size, bool nothrow) {
    bool counted = false;
    if (g_watch.thread && CountAndFail(&counted)) {
        if (nothrow) {
            return nullptr;
        }
        throw std::bad_alloc();
    }
    void* block = std::malloc(size ? size : 1);
    if (!block && !nothrow) {
        throw std::bad_alloc();
    }
    if (counted && block) {
        Note(block, size);
    }
    return block;
}

void Free(void* block) {
    if (g_watch.thread && block) {
        for (Block& slot : g_watch.alive) {
            if (slot.address == block) {
                slot = {};
            }
        }
    }
    std::free(block);
}

LRESULT CALLBACK OnWindowCreated(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_watch.thread && !g_watch.firstWindow) {
        g_watch.firstWindow = reinterpret_cast<HWND>(wParam);
        g_watch.countedBeforeWindow = g_watch.counted;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A person's commands on the page: each effect box clicked on and off again, and the bass-boost
// slider moved a step by the keyboard and back. Allocates nothing of its own.
void GiveCommands(HWND sheet) {
    HWND page = PropSheet_GetCurrentPageHwnd(sheet);
    for (int id : {IDC_SOUND_SPACE_EXPANDER, IDC_HEADPHONE, IDC_NATURAL_BASS}) {
        HWND box = ::GetDlgItem(page, id);
        ::SendMessageW(box, BM_CLICK, 0, 0);
        ::SendMessageW(box, BM_CLICK, 0, 0);
    }
    HWND slider = ::GetDlgItem(page, IDC_BASS_BOOST);
    for (WPARAM key : {VK_RIGHT, VK_LEFT}) {
        ::SendMessageW(slider, WM_KEYDOWN, key, 0);
        ::SendMessageW(slider, WM_KEYUP, key, 0xC0000001);
    }
}

using StartupAllocations = AppTest;

// One run of InitInstance with the nth allocation failing (0: none fails).
struct StartupRun {
    size_t counted, countedBeforeWindow;
    bool shown, stayedUp, threw, clientRegistered;
    int clientKept;
    BOOL result;
    HWND sheet, firstWindow;
    int windowsLeft;
    std::vector<Block> left;  // blocks the program left alive that it does not keep on purpose
    bool aliveOverflowed;
};

// `registrations` counts the service's registrations of a notification client (a function, so that
// no frame of this run's names the stand-ins' namespace, by which their own allocations are told
// apart).
StartupRun RunStartup(const ProgramCode& code, size_t failAt,
                      const std::function<int()>& registrations) {
    CPropertyPageApp app;
    StartupRun run = {};
    ScopedModalAction act([&] {
        run.shown = true;
        run.sheet = app.m_pMainWnd->m_hWnd;
        GiveCommands(run.sheet);
        ::PostMessageW(run.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    // A sheet that OK did not close is cancelled, so that the run ends and says so.
    ScopedModalAction rescue(
        [&] {
            run.stayedUp = true;
            ::PostMessageW(run.sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        },
        3000);
    int registeredBefore = registrations();
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, &OnWindowCreated, nullptr, ::GetCurrentThreadId());
    g_watch = {};
    g_watch.code = &code;
    g_watch.failAt = failAt;
    g_watch.thread = ::GetCurrentThreadId();
    try {
        run.result = app.InitInstance();
    } catch (...) {
        run.threw = true;
    }
    g_watch.thread = 0;
    ::UnhookWindowsHookEx(hook);
    run.counted = g_watch.counted;
    run.countedBeforeWindow = g_watch.firstWindow ? g_watch.countedBeforeWindow : g_watch.counted;
    run.firstWindow = g_watch.firstWindow;
    // The first window is the sheet's, shown or not.
    run.windowsLeft = VisibleThreadWindows() + (::IsWindow(run.firstWindow) ? 1 : 0);
    run.clientRegistered = registrations() > registeredBefore;
    for (const Block& block : g_watch.alive) {
        if (block.address && !KeptOnPurpose(block, run.clientRegistered)) {
            run.left.push_back(block);
        }
        run.clientKept += block.address && HoldsClient(block);
    }
    run.aliveOverflowed = g_watch.aliveOverflowed;
    return run;
}

std::string Describe(const std::vector<Block>& blocks) {
    std::string text;
    for (const Block& block : blocks) {
        text += (text.empty() ? "allocation " : ", ") + std::to_string(block.number) + " (" +
                std::to_string(block.size) + " bytes)";
    }
    return text;
}

TEST_F(StartupAllocations, EachOneThatFailsLeavesNoExceptionWindowOrBlockBehind) {
    ProgramCode code;
    ASSERT_TRUE(code.Known()) << "this program carries no symbol table";
    auto registrations = [&] { return sim->Calls(sim::audio::op::RegisterCallback); };
    // The first run on a thread also registers the wrappers' tables for the thread's end, once:
    // the runs that follow make the same allocations as one another.
    RunStartup(code, 0, registrations);
    size_t writesBefore = sim->Writes().size();
    StartupRun whole = RunStartup(code, 0, registrations);
    ASSERT_TRUE(whole.shown);
    EXPECT_EQ(whole.sheet, whole.firstWindow) << "the first window is not the sheet";
    EXPECT_FALSE(whole.stayedUp);
    EXPECT_GT(sim->Writes().size(), writesBefore) << "the commands wrote nothing";
    ASSERT_GE(whole.countedBeforeWindow, 4u)
        << "the sheet, the page, the client and the sheet's page list";
    ASSERT_GT(whole.counted, whole.countedBeforeWindow) << "nothing allocated once the sheet came";
    EXPECT_EQ("", Describe(whole.left)) << "blocks left alive";
    EXPECT_EQ(1, whole.clientKept) << "the registered client was not kept";
    std::printf("allocations failed: %zu before the first window, %zu after it\n",
                whole.countedBeforeWindow, whole.counted - whole.countedBeforeWindow);

    for (size_t n = 1; n <= whole.counted; ++n) {
        StartupRun run = RunStartup(code, n, registrations);
        bool beforeWindow = n <= whole.countedBeforeWindow;
        std::string which =
            "allocation " + std::to_string(n) + " of " + std::to_string(whole.counted) +
            (beforeWindow ? " (before the first window)" : " (after the first window)");
        EXPECT_GE(run.counted, n) << which << " was never made: the runs differ";
        EXPECT_FALSE(run.threw) << which << " threw out of InitInstance";
        EXPECT_FALSE(run.result) << which;
        if (beforeWindow) {
            EXPECT_FALSE(run.shown) << which << " failed, yet the sheet came up";
        }
        EXPECT_FALSE(run.stayedUp) << which << " failed, and OK did not close the sheet";
        EXPECT_EQ(0, run.windowsLeft) << which << " failed: windows left";
        EXPECT_EQ("", Describe(run.left)) << which << " failed: blocks left alive";
        EXPECT_FALSE(run.aliveOverflowed) << which;
    }
}

}  // namespace

void* operator new(size_t size) {
    return Allocate(size, false);
}
void* operator new[](size_t size) {
    return Allocate(size, false);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, true);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, true);
}
void operator delete(void* block) noexcept {
    Free(block);
}
void operator delete[](void* block) noexcept {
    Free(block);
}
void operator delete(void* block, size_t) noexcept {
    Free(block);
}
void operator delete[](void* block, size_t) noexcept {
    Free(block);
}
