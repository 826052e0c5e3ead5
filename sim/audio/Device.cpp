#include <cstring>

#include "sim/audio/ComObject.h"
#include "sim/audio/ComponentIds.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"

namespace sim::audio {
namespace {

class Device final : public ComObject<IMMDevice, ObjectKind::Device> {
public:
    Device(std::shared_ptr<AudioService> service, std::wstring id)
        : ComObject(std::move(service)), m_id(std::move(id)) {}

    // Only the device topology: the system activates nothing else here.
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                                       void** object) override {
        // Unusable: the topology of an endpoint removed as it was activated; its calls answer
        // E_NOTFOUND.
        auto outcome = m_service->Enter(op::Activate, nullptr, AudioService::Offers::Unusable);
        if (context != CLSCTX_ALL || parameters) {
            m_service->Unexpected("IMMDevice::Activate without CLSCTX_ALL or with parameters");
        }
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (!IsEqualIID(iid, IID_IDeviceTopology)) {
            return E_NOINTERFACE;
        }
        if (!m_service->HasEndpoint(m_id)) {
            return E_NOTFOUND;
        }
        if (!outcome.null) {
            *object = NewDeviceTopology(m_service, outcome.unusable ? kRemovedEndpointId : m_id);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override {
        return OpenStore(m_service, op::OpenPropertyStore, Store::Endpoint, m_id, access, store);
    }

    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        // Unusable: an empty id, in a block of its own that the caller frees as any other.
        auto outcome = m_service->Enter(op::GetId, nullptr, AudioService::Offers::Unusable);
        if (!id) {
            return E_POINTER;
        }
        *id = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (outcome.null) {
            return S_OK;
        }
        const std::wstring given = outcome.unusable ? std::wstring() : m_id;
        size_t bytes = (given.size() + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*id) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(*id, given.c_str(), bytes);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        // Unusable: DEVICE_STATE_NOTPRESENT, the state of an endpoint that has been removed.
        auto outcome = m_service->Enter(op::GetState, nullptr, AudioService::Offers::Unusable);
        if (!state) {
            return E_POINTER;
        }
        *state = 0;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (outcome.unusable || !m_service->EndpointState(m_id, state)) {
            *state = DEVICE_STATE_NOTPRESENT;
        }
        return S_OK;
    }

protected:
    // The FX-store accessor of the generation the machine runs.
    HRESULT QueryOther(REFIID iid, void** out) override {
        bool vista = IsEqualIID(iid, kFxStoreAccessVista);
        if (!vista && !IsEqualIID(iid, kFxStoreAccess7)) {
            return E_NOINTERFACE;
        }
        // QueryInterface hands out the interface or fails: no unusable answer.
        auto outcome = m_service->Enter(op::QueryFxStoreAccess);
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        Generation generation;
        if (!ActiveGeneration(&generation) || vista != (generation == Generation::Vista)) {
            return E_NOINTERFACE;
        }
        if (!outcome.null) {
            *out = NewFxStoreAccess(m_service, m_id, generation);
        }
        return S_OK;
    }

private:
    std::wstring m_id;
};

}  // namespace

IMMDevice* NewDevice(std::shared_ptr<AudioService> service, const std::wstring& id) {
    return new Device(std::move(service), id);
}

}  // namespace sim::audio
