#include "sim/audio/MallocSpy.h"
#include "sim/platform/Locks.h"

#include <objbase.h>

#include <cstring>

#include <mutex>
#include <unordered_set>

namespace sim::audio {
namespace {

constexpr int kFreshByte = 0xCD;

// The size asked for by the allocation this thread is making, from PreAlloc to PostAlloc.
thread_local SIZE_T t_requested = 0;

class MallocSpy final : public IMallocSpy {
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

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override {
        std::lock_guard<SlimLock> lock(m_mutex);
        if (m_failures > 0 && request == m_failSize) {
            --m_failures;
            t_requested = 0;
            return 0;  // PreAlloc's way to make the allocation fail
        }
        t_requested = request;
        return request;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        if (actual) {
            // A new block's content is undefined: make it visibly so for whoever reads it unset.
            std::memset(actual, kFreshByte, t_requested);
            std::lock_guard<SlimLock> lock(m_mutex);
            m_live.insert(actual);
        }
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL spyed) override {
        if (request && spyed) {
            std::lock_guard<SlimLock> lock(m_mutex);
            m_live.erase(request);
        }
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        BOOL spyed) override {
        if (request && spyed) {
            std::lock_guard<SlimLock> lock(m_mutex);
            m_live.erase(request);
        }
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override {
        if (actual) {
            std::lock_guard<SlimLock> lock(m_mutex);
            m_live.insert(actual);
        }
        return actual;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    void FailAllocs(size_t size, int count) {
        std::lock_guard<SlimLock> lock(m_mutex);
        m_failSize = size;
        m_failures = count;
    }

    size_t Live() {
        std::lock_guard<SlimLock> lock(m_mutex);
        return m_live.size();
    }

private:
    SlimLock m_mutex;
    std::unordered_set<void*> m_live;
    size_t m_failSize = 0;
    int m_failures = 0;
};

MallocSpy g_spy;
bool g_installed = false;

}  // namespace

void InstallMallocSpy() {
    if (!g_installed && SUCCEEDED(CoRegisterMallocSpy(&g_spy))) {
        g_installed = true;
    }
}

size_t LiveCoTaskMemBlocks() {
    return g_spy.Live();
}

void FailCoTaskMemAllocs(size_t size, int count) {
    g_spy.FailAllocs(size, count);
}

}  // namespace sim::audio
