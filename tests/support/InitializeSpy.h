#pragma once

#include <objbase.h>

#include <functional>
#include <vector>

// Watches the calling thread's CoInitializeEx and CoUninitialize calls while it lives: the models
// asked for, the uninitialisations, and a look at the process just before each CoUninitialize
// takes effect. It can make every initialisation of one model look failed to its caller
// (RPC_E_CHANGED_MODE) although COM did initialise, so the caller owes no CoUninitialize.
class InitializeSpy final : public IInitializeSpy {
public:
    explicit InitializeSpy(std::function<void()> beforeUninitialize = {},
                           DWORD failModel = ~DWORD(0))
        : m_beforeUninitialize(std::move(beforeUninitialize)), m_failModel(failModel) {
        CoRegisterInitializeSpy(this, &m_cookie);
    }
    InitializeSpy(const InitializeSpy&) = delete;
    InitializeSpy& operator=(const InitializeSpy&) = delete;
    ~InitializeSpy() { CoRevokeInitializeSpy(m_cookie); }

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
        return model == m_failModel && SUCCEEDED(result) ? RPC_E_CHANGED_MODE : result;
    }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD) override {
        ++uninitialised;
        if (m_beforeUninitialize) {
            m_beforeUninitialize();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }

    std::vector<DWORD> models;  // COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED, in order
    int uninitialised = 0;

private:
    std::function<void()> m_beforeUninitialize;
    DWORD m_failModel;
    ULARGE_INTEGER m_cookie = {};
};
