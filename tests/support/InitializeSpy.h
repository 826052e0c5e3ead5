#pragma once

#include <objbase.h>

#include <functional>
#include <vector>

// Watches the thread's CoInitializeEx and CoUninitialize calls and the models asked for; can make
// the nth multithreaded initialisation look failed to its caller, though COM did initialise, and
// lets a test act right after a multithreaded initialisation or right before an uninitialisation.
class InitializeSpy final : public IInitializeSpy {
public:
    explicit InitializeSpy(int failMultithreaded = 0) : m_failAt(failMultithreaded) {
        CoRegisterInitializeSpy(this, &m_cookie);
    }
    ~InitializeSpy() { CoRevokeInitializeSpy(m_cookie); }
    InitializeSpy(const InitializeSpy&) = delete;
    InitializeSpy& operator=(const InitializeSpy&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IInitializeSpy)) ? this
                                                                                          : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE PreInitialize(DWORD model, DWORD) override {
        models.push_back(model);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD model, DWORD) override {
        if (model != COINIT_MULTITHREADED) {
            return result;
        }
        ++multithreaded;
        if (afterMultithreaded) {
            afterMultithreaded(multithreaded);
        }
        return multithreaded == m_failAt ? RPC_E_CHANGED_MODE : result;
    }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD) override {
        ++uninitialised;
        if (beforeUninitialize) {
            beforeUninitialize();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }

    int multithreaded = 0;
    int uninitialised = 0;
    std::vector<DWORD> models;  // COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED, in order
    // Called with the count of multithreaded initialisations so far.
    std::function<void(int)> afterMultithreaded;
    std::function<void()> beforeUninitialize;

private:
    int m_failAt;
    ULARGE_INTEGER m_cookie = {};
};
