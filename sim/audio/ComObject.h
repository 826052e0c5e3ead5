#pragma once

#include <unknwn.h>

#include <atomic>
#include <memory>

#include "sim/audio/AudioService.h"
#include "sim/audio/LiveObjects.h"

namespace sim::audio {

// Reference counting and QueryInterface for the service's objects that implement one public
// interface. Each instance starts with one reference, owned by whoever asked for it.
template <class Interface, ObjectKind kind>
class ComObject : public Interface {
public:
    explicit ComObject(std::shared_ptr<AudioService> service) : m_service(std::move(service)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return QueryOther(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

protected:
    virtual ~ComObject() = default;
    // Interfaces beyond IUnknown and Interface.
    virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }

    std::shared_ptr<AudioService> m_service;

private:
    std::atomic<ULONG> m_refs{1};
    Counted<kind> m_counted;
};

}  // namespace sim::audio
