#include "sim/audio/ComObject.h"
#include "sim/audio/ComponentIds.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"

namespace sim::audio {
namespace {

// An endpoint's own property store or its FX store. It reads the service's current values, so a
// value written through the configuration object shows through a handle opened before.
template <ObjectKind kind>
class PropertyStore final : public ComObject<IPropertyStore, kind> {
public:
    PropertyStore(std::shared_ptr<AudioService> service, Store store, std::wstring id)
        : ComObject<IPropertyStore, kind>(std::move(service)),
          m_store(store),
          m_id(std::move(id)) {}

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = static_cast<DWORD>(this->m_service->Properties(m_store, m_id).size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
        if (!key) {
            return E_POINTER;
        }
        auto properties = this->m_service->Properties(m_store, m_id);
        if (index >= properties.size()) {
            return E_INVALIDARG;
        }
        *key = properties[index].first;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        // Unusable: VT_EMPTY, as for a value the store does not hold (removed meanwhile).
        auto outcome = this->m_service->Enter(
            m_store == Store::Fx ? op::FxStoreGetValue : op::EndpointStoreGetValue, &key,
            AudioService::Offers::Unusable);
        if (!value) {
            return E_POINTER;
        }
        PropVariantInit(value);
        if (FAILED(outcome.result) || outcome.unusable) {
            return outcome.result;
        }
        // A key the store does not hold reads as VT_EMPTY with success, as on Windows. A success
        // code other than S_OK that a test asked for comes back with the value.
        auto stored = this->m_service->Property(m_store, m_id, key);
        HRESULT read = stored ? stored->ToPropVariant(value) : S_OK;
        return SUCCEEDED(read) ? outcome.result : read;
    }

    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
        if (m_store == Store::Endpoint) {
            this->m_service->Unexpected("IPropertyStore::SetValue on an endpoint property store");
            return STG_E_ACCESSDENIED;
        }
        auto outcome = this->m_service->Enter(op::FxStoreSetValue, &key);
        if (FAILED(outcome.result) || !this->m_service->FxHandleWritable()) {
            HRESULT result = FAILED(outcome.result) ? outcome.result : STG_E_ACCESSDENIED;
            Value attempted;
            Value::FromPropVariant(value, &attempted);
            this->m_service->LogWrite(WriteOrigin::FxStoreHandle, kPropertyStoreSetValueSlot,
                                      Store::Fx, m_id, key, attempted, result);
            return result;
        }
        return this->m_service->Write(WriteOrigin::FxStoreHandle, kPropertyStoreSetValueSlot,
                                      Store::Fx, m_id, key, value);
    }

    // Values are stored as they are set; the system never commits, not even its one write
    // through the FX store handle.
    HRESULT STDMETHODCALLTYPE Commit() override {
        this->m_service->Unexpected("IPropertyStore::Commit");
        return S_OK;
    }

private:
    Store m_store;
    std::wstring m_id;
};

}  // namespace

HRESULT OpenStore(const std::shared_ptr<AudioService>& service, const char* operation, Store store,
                  const std::wstring& id, DWORD access, IPropertyStore** out) {
    // Unusable: for the endpoint's own store, the store of an endpoint removed as it was opened,
    // which holds no value; for the FX store, success without a store, as the undocumented
    // accessor's caller must allow for (it allows for the accessor itself coming back null).
    auto outcome = service->Enter(operation, nullptr, AudioService::Offers::Unusable);
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (FAILED(outcome.result)) {
        return outcome.result;
    }
    if (access != STGM_READ && access != STGM_WRITE && access != STGM_READWRITE) {
        return E_INVALIDARG;
    }
    if (access != STGM_READ) {
        // The system only ever reads through its stores; writes go through the configuration
        // object.
        service->Unexpected(std::string(operation) + " for writing");
    }
    if (!service->HasEndpoint(id)) {
        return E_NOTFOUND;
    }
    if (outcome.unusable && store == Store::Fx) {
        return S_OK;
    }
    if (!outcome.null) {
        *out = NewPropertyStore(service, store, outcome.unusable ? kRemovedEndpointId : id);
    }
    return S_OK;
}

IPropertyStore* NewPropertyStore(std::shared_ptr<AudioService> service, Store store,
                                 const std::wstring& id) {
    if (store == Store::Fx) {
        return new PropertyStore<ObjectKind::FxPropertyStore>(std::move(service), store, id);
    }
    return new PropertyStore<ObjectKind::EndpointPropertyStore>(std::move(service), store, id);
}

}  // namespace sim::audio
