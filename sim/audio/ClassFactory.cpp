#include "sim/audio/ClassFactory.h"

#include "sim/audio/ComObject.h"
#include "sim/audio/ComponentIds.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"
#include "sim/platform/WindowsVersion.h"

namespace sim::audio {

bool ActiveGeneration(Generation* generation) {
    DWORD major = 0, minor = 0;
    SimulatedWindowsVersion(&major, &minor);
    if (major != 6 || minor > 1) {
        return false;
    }
    *generation = minor == 0 ? Generation::Vista : Generation::Windows7;
    return true;
}

namespace {

// The class object registered for one CLSID. It holds the service weakly, so that the
// registration does not keep a stopped service alive.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(std::weak_ptr<AudioService> service, FactoryKind kind)
        : m_service(std::move(service)), m_kind(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        auto service = m_service.lock();
        if (!service) {
            return CO_E_SERVER_STOPPING;
        }
        // Creation hands out an object or fails: no unusable answer.
        auto outcome =
            service->Enter(m_kind == FactoryKind::DeviceEnumerator ? op::CreateDeviceEnumerator
                                                                   : op::CreateEndpointConfig);
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        IUnknown* object = nullptr;
        if (m_kind == FactoryKind::DeviceEnumerator) {
            object = NewDeviceEnumerator(service);
        } else {
            // Each configuration class exists only on the Windows generation it belongs to.
            Generation generation;
            Generation own = m_kind == FactoryKind::EndpointConfigVista ? Generation::Vista
                                                                        : Generation::Windows7;
            if (!ActiveGeneration(&generation) || generation != own) {
                return REGDB_E_CLASSNOTREG;
            }
            object = NewEndpointConfig(service, own);
        }
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> m_refs{1};
    std::weak_ptr<AudioService> m_service;
    FactoryKind m_kind;
    Counted<ObjectKind::ClassFactory> m_counted;
};

}  // namespace

IClassFactory* NewClassFactory(std::weak_ptr<AudioService> service, FactoryKind kind) {
    return new ClassFactory(std::move(service), kind);
}

const CLSID& FactoryClass(FactoryKind kind) {
    switch (kind) {
        case FactoryKind::DeviceEnumerator: return CLSID_MMDeviceEnumerator;
        case FactoryKind::EndpointConfigVista: return kEndpointConfigClassVista;
        case FactoryKind::EndpointConfig7: return kEndpointConfigClass7;
    }
    return CLSID_NULL;
}

}  // namespace sim::audio
