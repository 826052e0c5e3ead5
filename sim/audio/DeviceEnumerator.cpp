#include "sim/audio/ComObject.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"

namespace sim::audio {
namespace {

using Offers = AudioService::Offers;

class DeviceEnumerator final : public ComObject<IMMDeviceEnumerator, ObjectKind::DeviceEnumerator> {
public:
    using ComObject::ComObject;

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                 IMMDeviceCollection** devices) override {
        // Unusable: a collection with no endpoint in it, as Windows gives when none matches.
        auto outcome = m_service->Enter(op::EnumAudioEndpoints, nullptr, Offers::Unusable);
        if (!devices) {
            return E_POINTER;
        }
        *devices = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (flow < eRender || flow > eAll || stateMask == 0 ||
            (stateMask & ~DEVICE_STATEMASK_ALL)) {
            return E_INVALIDARG;
        }
        if (!outcome.null) {
            *devices = NewDeviceCollection(
                m_service, outcome.unusable ? std::vector<std::wstring>{}
                                            : m_service->EndpointIds(flow, stateMask));
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice** endpoint) override {
        auto outcome = m_service->Enter(op::GetDefaultAudioEndpoint);
        if (!endpoint) {
            return E_POINTER;
        }
        *endpoint = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        auto ids = m_service->EndpointIds(flow, DEVICE_STATE_ACTIVE);
        if (ids.empty()) {
            return E_NOTFOUND;
        }
        if (!outcome.null) {
            *endpoint = NewDevice(m_service, ids.front());
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
        // Unusable: success without a device, a case the program's own rules name.
        auto outcome = m_service->Enter(op::GetDevice, nullptr, Offers::Unusable);
        if (!device) {
            return E_POINTER;
        }
        *device = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (outcome.null || outcome.unusable) {
            return S_OK;
        }
        if (!id) {
            return E_POINTER;
        }
        if (!m_service->HasEndpoint(id)) {
            return E_NOTFOUND;
        }
        *device = NewDevice(m_service, id);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        auto outcome = m_service->Enter(op::RegisterCallback);
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        return client ? m_service->RegisterClient(client) : E_POINTER;
    }

    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        auto outcome = m_service->Enter(op::UnregisterCallback);
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        return client ? m_service->UnregisterClient(client) : E_POINTER;
    }
};

class DeviceCollection final : public ComObject<IMMDeviceCollection, ObjectKind::DeviceCollection> {
public:
    DeviceCollection(std::shared_ptr<AudioService> service, std::vector<std::wstring> ids)
        : ComObject(std::move(service)), m_ids(std::move(ids)) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        // Unusable: a count of 0.
        auto outcome = m_service->Enter(op::CollectionGetCount, nullptr, Offers::Unusable);
        if (!count) {
            return E_POINTER;
        }
        // A failed call promises nothing about the count: it is left as the caller had it.
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        *count = outcome.unusable ? 0 : static_cast<UINT>(m_ids.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        // Unusable: the item is an endpoint removed since the collection was taken.
        auto outcome = m_service->Enter(op::CollectionItem, nullptr, Offers::Unusable);
        if (!device) {
            return E_POINTER;
        }
        *device = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (index >= m_ids.size()) {
            return E_INVALIDARG;
        }
        if (!outcome.null) {
            *device = NewDevice(m_service, outcome.unusable ? kRemovedEndpointId : m_ids[index]);
        }
        return S_OK;
    }

private:
    std::vector<std::wstring> m_ids;  // a snapshot, as Windows takes one
};

}  // namespace

IMMDeviceEnumerator* NewDeviceEnumerator(std::shared_ptr<AudioService> service) {
    return new DeviceEnumerator(std::move(service));
}

IMMDeviceCollection* NewDeviceCollection(std::shared_ptr<AudioService> service,
                                         std::vector<std::wstring> ids) {
    return new DeviceCollection(std::move(service), std::move(ids));
}

}  // namespace sim::audio
