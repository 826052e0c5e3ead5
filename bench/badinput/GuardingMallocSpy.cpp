#include "bench/badinput/GuardingMallocSpy.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "bench/badinput/GuardedMemory.h"

namespace badinput {
namespace {

// A guarded block stands in for the heap block COM allocated; the heap block stays allocated
// (unused) until the guarded one is freed, and is what COM then frees.
struct GuardedBlock {
    void* actual;
    void* base;
    size_t size;
};

class GuardingMallocSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The spy lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // COM holds its own lock from Pre* to Post*, so the size in between can wait in a member.
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pendingSize = request;
        return request;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return Adopt(actual, m_pendingSize);
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return Disown(request, false);
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        BOOL) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        *newRequest = Disown(request, true);
        m_pendingSize = size;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return Adopt(actual, m_pendingSize);
    }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ActualOf(request);
    }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ActualOf(request);
    }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    void SetGuarding(bool on) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_guarding += on ? 1 : -1;
    }
    size_t Live() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_live.size();
    }

private:
    // The pointer the caller gets for a new heap block of `size` bytes.
    void* Adopt(void* actual, size_t size) {
        if (!actual) {
            return nullptr;
        }
        void* handed = actual;
        if (m_guarding > 0) {
            void* base = nullptr;
            void* guarded = PlaceAtPageEnd(size, &base);
            if (guarded) {
                // A reallocated block brings its old contents along.
                std::memcpy(guarded, actual, size);
                m_guarded[guarded] = GuardedBlock{actual, base, size};
                handed = guarded;
            }
        }
        m_live.insert(handed);
        return handed;
    }

    // The heap block to free or reallocate in place of the caller's pointer.
    void* Disown(void* request, bool keepContents) {
        if (!request) {
            return nullptr;
        }
        m_live.erase(request);
        auto found = m_guarded.find(request);
        if (found == m_guarded.end()) {
            return request;
        }
        GuardedBlock block = found->second;
        m_guarded.erase(found);
        if (keepContents) {
            std::memcpy(block.actual, request, block.size);
        }
        ReleasePlaced(block.base);
        return block.actual;
    }

    void* ActualOf(void* request) {
        auto found = m_guarded.find(request);
        return found == m_guarded.end() ? request : found->second.actual;
    }

    std::mutex m_mutex;
    std::unordered_set<void*> m_live;
    std::unordered_map<void*, GuardedBlock> m_guarded;
    size_t m_pendingSize = 0;
    int m_guarding = 0;
};

GuardingMallocSpy g_spy;
bool g_installed = false;

}  // namespace

void InstallGuardingMallocSpy() {
    if (!g_installed && SUCCEEDED(CoRegisterMallocSpy(&g_spy))) {
        g_installed = true;
    }
}

size_t LiveCoTaskMemBlocks() {
    return g_spy.Live();
}

ScopedCoTaskMemGuard::ScopedCoTaskMemGuard() {
    g_spy.SetGuarding(true);
}

ScopedCoTaskMemGuard::~ScopedCoTaskMemGuard() {
    g_spy.SetGuarding(false);
}

}  // namespace badinput
