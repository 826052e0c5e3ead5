// The FX-store accessors and the endpoint-configuration objects. Their interfaces have no
// public declaration, so the objects are laid out as COM sees them: a pointer to a table of
// functions, slot by slot. The slots the system uses do the work; every other slot answers
// E_NOTIMPL and is reported as an unexpected call.
#include <atomic>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "sim/audio/ComponentIds.h"
#include "sim/audio/LiveObjects.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"

namespace sim::audio {
namespace {

constexpr int kSlots = 16;  // more than either generation has; the rest answer E_NOTIMPL

using Slot = const void*;

template <ObjectKind kind>
struct Component {
    const Slot* vtable;
    std::atomic<ULONG> refs{1};
    std::shared_ptr<AudioService> service;
    Generation generation;
    std::wstring endpointId;  // the accessor's endpoint
    Counted<kind> counted;
};

using FxStoreAccess = Component<ObjectKind::FxStoreAccess>;
using EndpointConfig = Component<ObjectKind::EndpointConfig>;

template <class T>
HRESULT STDMETHODCALLTYPE QueryInterface(T* self, REFIID iid, void** out);

template <class T>
ULONG STDMETHODCALLTYPE AddRef(T* self) {
    return ++self->refs;
}

template <class T>
ULONG STDMETHODCALLTYPE Release(T* self) {
    ULONG refs = --self->refs;
    if (refs == 0) {
        delete self;
    }
    return refs;
}

template <class T, int slot>
HRESULT STDMETHODCALLTYPE NotImplemented(T* self) {
    self->service->Unexpected("call of unimplemented slot " + std::to_string(slot) + " of " +
                              ObjectKindName(std::is_same_v<T, FxStoreAccess>
                                                 ? ObjectKind::FxStoreAccess
                                                 : ObjectKind::EndpointConfig));
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OpenFxStore(FxStoreAccess* self, DWORD access, IPropertyStore** store) {
    return OpenStore(self->service, op::OpenFxStore, Store::Fx, self->endpointId, access, store);
}

WriteOrigin OriginOf(const EndpointConfig* self) {
    return self->generation == Generation::Vista ? WriteOrigin::ConfigVista : WriteOrigin::Config7;
}

template <int slot>
HRESULT STDMETHODCALLTYPE WriteEndpointFormat(EndpointConfig* self, LPCWSTR id,
                                              WAVEFORMATEX* deviceFormat, WAVEFORMATEX* mixFormat) {
    auto outcome = self->service->Enter(op::WriteEndpointFormat);
    if (mixFormat) {
        // A mix format would change the engine's format too; the system only sets the device's.
        self->service->Unexpected("WriteEndpointFormat with a mix format");
    }
    if (FAILED(outcome.result)) {
        // The refused write is logged with the format it tried, as far as the service reads it.
        self->service->LogWrite(OriginOf(self), slot, Store::Endpoint, id ? id : L"",
                                PKEY_AudioEngine_DeviceFormat,
                                AudioService::FormatValue(deviceFormat), outcome.result);
        return outcome.result;
    }
    if (!id || !deviceFormat) {
        return E_POINTER;
    }
    return self->service->WriteFormat(OriginOf(self), slot, id, deviceFormat);
}

template <int slot>
HRESULT STDMETHODCALLTYPE WriteEndpointProperty(EndpointConfig* self, LPCWSTR id, int fxStore,
                                                const PROPERTYKEY* key, PROPVARIANT* value) {
    auto outcome = self->service->Enter(op::WriteEndpointProperty, key);
    if (!id || !key || !value) {
        return E_POINTER;
    }
    Store store = fxStore == 1 ? Store::Fx : Store::Endpoint;
    if (FAILED(outcome.result)) {
        Value attempted;
        Value::FromPropVariant(*value, &attempted);
        self->service->LogWrite(OriginOf(self), slot, store, id, *key, attempted, outcome.result);
        return outcome.result;
    }
    if (fxStore != 0 && fxStore != 1) {
        return E_INVALIDARG;
    }
    return self->service->Write(OriginOf(self), slot, store, id, *key, *value);
}

// A table with every slot unimplemented but IUnknown's, then the methods put in their slots.
template <class T, int... slots>
auto BaseTable(std::integer_sequence<int, slots...>) {
    struct Table {
        Slot entries[kSlots];
    } table = {{reinterpret_cast<Slot>(&NotImplemented<T, slots>)...}};
    table.entries[0] = reinterpret_cast<Slot>(&QueryInterface<T>);
    table.entries[1] = reinterpret_cast<Slot>(&AddRef<T>);
    table.entries[2] = reinterpret_cast<Slot>(&Release<T>);
    return table;
}

struct Tables {
    decltype(BaseTable<FxStoreAccess>(std::make_integer_sequence<int, kSlots>())) access;
    decltype(BaseTable<EndpointConfig>(std::make_integer_sequence<int, kSlots>())) vista, win7;
};

const Tables& GetTables() {
    static const Tables tables = [] {
        Tables t{BaseTable<FxStoreAccess>(std::make_integer_sequence<int, kSlots>()),
                 BaseTable<EndpointConfig>(std::make_integer_sequence<int, kSlots>()),
                 BaseTable<EndpointConfig>(std::make_integer_sequence<int, kSlots>())};
        t.access.entries[kOpenFxStoreSlot] = reinterpret_cast<Slot>(&OpenFxStore);
        t.vista.entries[kWriteFormatSlotVista] =
            reinterpret_cast<Slot>(&WriteEndpointFormat<kWriteFormatSlotVista>);
        t.vista.entries[kWritePropertySlotVista] =
            reinterpret_cast<Slot>(&WriteEndpointProperty<kWritePropertySlotVista>);
        t.win7.entries[kWriteFormatSlot7] =
            reinterpret_cast<Slot>(&WriteEndpointFormat<kWriteFormatSlot7>);
        t.win7.entries[kWritePropertySlot7] =
            reinterpret_cast<Slot>(&WriteEndpointProperty<kWritePropertySlot7>);
        return t;
    }();
    return tables;
}

template <class T>
HRESULT STDMETHODCALLTYPE QueryInterface(T* self, REFIID iid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    const IID& own =
        std::is_same_v<T, FxStoreAccess>
            ? (self->generation == Generation::Vista ? kFxStoreAccessVista : kFxStoreAccess7)
            : (self->generation == Generation::Vista ? kEndpointConfigVista : kEndpointConfig7);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, own)) {
        AddRef(self);
        *out = self;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

}  // namespace

IUnknown* NewFxStoreAccess(std::shared_ptr<AudioService> service, const std::wstring& id,
                           Generation generation) {
    auto* access =
        new FxStoreAccess{GetTables().access.entries, {1}, std::move(service), generation, id, {}};
    return reinterpret_cast<IUnknown*>(access);
}

IUnknown* NewEndpointConfig(std::shared_ptr<AudioService> service, Generation generation) {
    const Slot* table =
        generation == Generation::Vista ? GetTables().vista.entries : GetTables().win7.entries;
    auto* config = new EndpointConfig{table, {1}, std::move(service), generation, L"", {}};
    return reinterpret_cast<IUnknown*>(config);
}

}  // namespace sim::audio
