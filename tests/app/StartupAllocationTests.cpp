// Start-up under a failing allocator: the program's allocations, counted from the start of
// InitInstance until its first window, are failed one at a time. This program replaces the global
// operator new, so it runs alone; the stand-ins' own allocations are told apart by their code (the
// namespace sim) on the call stack, and never fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

#include "tests/app/AppFixture.h"

namespace {

// Where the stand-ins' code lies in this program: the functions of its symbol table, in address
// order, each marked when its mangled name is in the namespace sim.
class StandInCode {
public:
    StandInCode() {
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
            bool standIn = name.rfind("_Z", 0) == 0 && name.find("N3sim") != std::string::npos;
            m_functions.push_back({base + section.VirtualAddress + symbol.Value, standIn});
        }
        std::sort(m_functions.begin(), m_functions.end(),
                  [](const Function& a, const Function& b) { return a.start < b.start; });
    }

    bool Known() const { return !m_functions.empty(); }

    // Whether any frame of the calling stack is in the stand-ins' code. Allocates nothing.
    bool OnTheStack() const {
        void* frames[62];
        USHORT count = ::RtlCaptureStackBackTrace(1, 62, frames, nullptr);
        for (USHORT i = 0; i < count; ++i) {
            auto address = reinterpret_cast<ULONG_PTR>(frames[i]);
            auto next =
                std::upper_bound(m_functions.begin(), m_functions.end(), address,
                                 [](ULONG_PTR a, const Function& f) { return a < f.start; });
            if (next != m_functions.begin() && std::prev(next)->standIn) {
                return true;
            }
        }
        return false;
    }

private:
    struct Function {
        ULONG_PTR start;
        bool standIn;
    };
    std::vector<Function> m_functions;
};

// The allocator's state: which thread it watches, whether it counts or fails the nth allocation
// the program makes there, and the blocks it counted that are still alive.
struct Watch {
    const StandInCode* standIns = nullptr;
    DWORD thread = 0;
    bool windowSeen = false;
    size_t counted = 0;
    size_t failAt = 0;  // 0: count only
    void* alive[128] = {};
} g_watch;

// Whether this allocation is the program's, before its first window; counts it if so, and says
// whether it is the one to fail.
bool CountAndFail(bool* counted) {
    *counted = g_watch.thread == ::GetCurrentThreadId() && !g_watch.windowSeen &&
               !g_watch.standIns->OnTheStack();
    return *counted && ++g_watch.counted == g_watch.failAt;
}

void Note(void* block) {
    for (void*& slot : g_watch.alive) {
        if (!slot) {
            slot = block;
            return;
        }
    }
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
        Note(block);
    }
    return block;
}

void Free(void* block) {
    if (g_watch.thread && block) {
        for (void*& slot : g_watch.alive) {
            if (slot == block) {
                slot = nullptr;
            }
        }
    }
    std::free(block);
}

LRESULT CALLBACK OnWindowCreated(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        g_watch.windowSeen = true;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

using StartupAllocations = AppTest;

// Runs start-up with the nth allocation failing (0: none fails); whether a sheet came up.
struct StartupRun {
    size_t counted;
    bool shown, threw;
    BOOL result;
    size_t alive;
};

StartupRun RunStartup(const StandInCode& standIns, size_t failAt) {
    CPropertyPageApp app;
    StartupRun run = {};
    ScopedModalAction act([&] {
        run.shown = true;
        ::PostMessageW(app.m_pMainWnd->m_hWnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, &OnWindowCreated, nullptr, ::GetCurrentThreadId());
    g_watch = {};
    g_watch.standIns = &standIns;
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
    run.alive = std::count_if(std::begin(g_watch.alive), std::end(g_watch.alive),
                              [](void* block) { return block != nullptr; });
    return run;
}

TEST_F(StartupAllocations, EachOneThatFailsEndsStartUpSilently) {
    StandInCode standIns;
    ASSERT_TRUE(standIns.Known()) << "this program carries no symbol table";
    StartupRun whole = RunStartup(standIns, 0);
    ASSERT_TRUE(whole.shown);
    ASSERT_GE(whole.counted, 4u) << "the sheet, the page, the client and the sheet's page list";
    EXPECT_EQ(0u, whole.alive);
    for (size_t n = 1; n <= whole.counted; ++n) {
        StartupRun run = RunStartup(standIns, n);
        EXPECT_FALSE(run.threw) << "allocation " << n << " of " << whole.counted
                                << " threw out of InitInstance";
        EXPECT_FALSE(run.result) << n;
        EXPECT_FALSE(run.shown) << "allocation " << n << " failed, yet the sheet came up";
        EXPECT_EQ(0u, run.alive) << "allocation " << n << " failed: blocks left behind";
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
