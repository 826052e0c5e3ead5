// The device-topology chain from an endpoint down to its jacks: the endpoint's topology and its
// connectors, the connector on the adapter's side (which is also a part), and that part's jack
// description. The calls of the system's walk do their work; every other method answers E_NOTIMPL
// and is reported as an unexpected call.
#include <string>

#include "sim/audio/ComObject.h"
#include "sim/audio/Objects.h"
#include "sim/audio/Operations.h"

namespace sim::audio {
namespace {

using Offers = AudioService::Offers;

HRESULT NotImplemented(AudioService& service, const char* method) {
    service.Unexpected(std::string("call of unimplemented ") + method);
    return E_NOTIMPL;
}

class JackDescription final : public ComObject<IKsJackDescription, ObjectKind::JackDescription> {
public:
    JackDescription(std::shared_ptr<AudioService> service, std::wstring id)
        : ComObject(std::move(service)), m_id(std::move(id)) {}

    HRESULT STDMETHODCALLTYPE GetJackCount(UINT* count) override {
        // Unusable: no jack described.
        auto outcome = m_service->Enter(op::GetJackCount, nullptr, Offers::Unusable);
        if (!count) {
            return E_POINTER;
        }
        *count = 0;
        if (FAILED(outcome.result) || outcome.unusable) {
            return outcome.result;
        }
        EndpointTopology topology;
        if (!m_service->Topology(m_id, &topology)) {
            return E_NOTFOUND;
        }
        *count = topology.jackCount;
        return S_OK;
    }

    // A failed call leaves the caller's structure as it was.
    HRESULT STDMETHODCALLTYPE GetJackDescription(UINT index,
                                                 KSJACK_DESCRIPTION* description) override {
        // Unusable: a jack the driver describes as nothing: no channels, no colour, connection
        // type and location unknown, nothing plugged in.
        auto outcome = m_service->Enter(op::GetJackDescription, nullptr, Offers::Unusable);
        if (!description) {
            return E_POINTER;
        }
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        EndpointTopology topology;
        if (!m_service->Topology(m_id, &topology)) {
            return E_NOTFOUND;
        }
        if (index >= topology.jackCount) {
            return E_INVALIDARG;
        }
        *description = outcome.unusable ? KSJACK_DESCRIPTION{} : topology.jack;
        return S_OK;
    }

private:
    std::wstring m_id;
};

// IConnector with nothing implemented: each side implements what the walk asks of it.
template <ObjectKind kind>
class Connector : public ComObject<IConnector, kind> {
public:
    Connector(std::shared_ptr<AudioService> service, std::wstring id)
        : ComObject<IConnector, kind>(std::move(service)), m_id(std::move(id)) {}

    HRESULT STDMETHODCALLTYPE GetType(ConnectorType*) override {
        return NotImplemented(*this->m_service, "IConnector::GetType");
    }
    HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow*) override {
        return NotImplemented(*this->m_service, "IConnector::GetDataFlow");
    }
    HRESULT STDMETHODCALLTYPE ConnectTo(IConnector*) override {
        return NotImplemented(*this->m_service, "IConnector::ConnectTo");
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override {
        return NotImplemented(*this->m_service, "IConnector::Disconnect");
    }
    HRESULT STDMETHODCALLTYPE IsConnected(WINBOOL*) override {
        return NotImplemented(*this->m_service, "IConnector::IsConnected");
    }
    HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector**) override {
        return NotImplemented(*this->m_service, "IConnector::GetConnectedTo");
    }
    HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR*) override {
        return NotImplemented(*this->m_service, "IConnector::GetConnectorIdConnectedTo");
    }
    HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR*) override {
        return NotImplemented(*this->m_service, "IConnector::GetDeviceIdConnectedTo");
    }

protected:
    std::wstring m_id;  // the endpoint the topology belongs to
};

// The connector on the adapter's side. It is also the part whose jack description the walk
// activates.
class AdapterConnector final : public Connector<ObjectKind::AdapterConnector>, public IPart {
public:
    using Connector::Connector;

    // One identity and one count for both interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return Connector::QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Connector::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Connector::Release(); }

    HRESULT STDMETHODCALLTYPE Activate(DWORD context, REFIID iid, void** object) override {
        // Unusable: the jack description of an endpoint removed meanwhile; its calls answer
        // E_NOTFOUND.
        auto outcome = m_service->Enter(op::PartActivate, nullptr, Offers::Unusable);
        if (context != CLSCTX_ALL) {
            m_service->Unexpected("IPart::Activate without CLSCTX_ALL");
        }
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (!IsEqualIID(iid, IID_IKsJackDescription)) {
            return E_NOINTERFACE;
        }
        if (!outcome.null) {
            *object = static_cast<IKsJackDescription*>(
                new JackDescription(m_service, outcome.unusable ? kRemovedEndpointId : m_id));
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetName(LPWSTR*) override {
        return NotImplemented(*m_service, "IPart::GetName");
    }
    HRESULT STDMETHODCALLTYPE GetLocalId(UINT*) override {
        return NotImplemented(*m_service, "IPart::GetLocalId");
    }
    HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR*) override {
        return NotImplemented(*m_service, "IPart::GetGlobalId");
    }
    HRESULT STDMETHODCALLTYPE GetPartType(PartType*) override {
        return NotImplemented(*m_service, "IPart::GetPartType");
    }
    HRESULT STDMETHODCALLTYPE GetSubType(GUID*) override {
        return NotImplemented(*m_service, "IPart::GetSubType");
    }
    HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT*) override {
        return NotImplemented(*m_service, "IPart::GetControlInterfaceCount");
    }
    HRESULT STDMETHODCALLTYPE GetControlInterface(UINT, IControlInterface**) override {
        return NotImplemented(*m_service, "IPart::GetControlInterface");
    }
    HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList**) override {
        return NotImplemented(*m_service, "IPart::EnumPartsIncoming");
    }
    HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList**) override {
        return NotImplemented(*m_service, "IPart::EnumPartsOutgoing");
    }
    HRESULT STDMETHODCALLTYPE GetTopologyObjects(IDeviceTopology**) override {
        return NotImplemented(*m_service, "IPart::GetTopologyObjects");
    }
    HRESULT STDMETHODCALLTYPE RegisterControlChangeCallback(REFGUID,
                                                            IControlChangeNotify*) override {
        return NotImplemented(*m_service, "IPart::RegisterControlChangeCallback");
    }
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeCallback(IControlChangeNotify*) override {
        return NotImplemented(*m_service, "IPart::UnregisterControlChangeCallback");
    }

protected:
    HRESULT QueryOther(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IPart)) {
            return E_NOINTERFACE;
        }
        // QueryInterface hands out the interface or fails: no unusable answer.
        auto outcome = m_service->Enter(op::QueryPart);
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (!outcome.null) {
            AddRef();
            *out = static_cast<IPart*>(this);
        }
        return S_OK;
    }
};

// The connector on the endpoint's side; the jacks are described on the other side only.
class EndpointConnector final : public Connector<ObjectKind::EndpointConnector> {
public:
    using Connector::Connector;

    HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override {
        // Unusable: the other side belongs to an endpoint removed meanwhile.
        auto outcome = m_service->Enter(op::GetConnectedTo, nullptr, Offers::Unusable);
        if (!other) {
            return E_POINTER;
        }
        *other = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        if (!m_service->HasEndpoint(m_id)) {
            return E_NOTFOUND;
        }
        if (!outcome.null) {
            *other = static_cast<IConnector*>(
                new AdapterConnector(m_service, outcome.unusable ? kRemovedEndpointId : m_id));
        }
        return S_OK;
    }

protected:
    // A walk that looks for the jacks here has taken the wrong side of the connection.
    HRESULT QueryOther(REFIID iid, void**) override {
        if (IsEqualIID(iid, IID_IPart)) {
            m_service->Unexpected("IPart asked of the endpoint's own connector");
        }
        return E_NOINTERFACE;
    }
};

class DeviceTopology final : public ComObject<IDeviceTopology, ObjectKind::DeviceTopology> {
public:
    DeviceTopology(std::shared_ptr<AudioService> service, std::wstring id)
        : ComObject(std::move(service)), m_id(std::move(id)) {}

    HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) override {
        // Unusable: a count of 0.
        auto outcome = m_service->Enter(op::GetConnectorCount, nullptr, Offers::Unusable);
        if (!count) {
            return E_POINTER;
        }
        *count = 0;
        if (FAILED(outcome.result) || outcome.unusable) {
            return outcome.result;
        }
        EndpointTopology topology;
        if (!m_service->Topology(m_id, &topology)) {
            return E_NOTFOUND;
        }
        *count = topology.connectorCount;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override {
        // Unusable: a connector connected to nothing, whose GetConnectedTo answers E_NOTFOUND.
        auto outcome = m_service->Enter(op::GetConnector, nullptr, Offers::Unusable);
        if (!connector) {
            return E_POINTER;
        }
        *connector = nullptr;
        if (FAILED(outcome.result)) {
            return outcome.result;
        }
        EndpointTopology topology;
        if (!m_service->Topology(m_id, &topology)) {
            return E_NOTFOUND;
        }
        if (index >= topology.connectorCount) {
            return E_INVALIDARG;
        }
        if (!outcome.null) {
            *connector =
                new EndpointConnector(m_service, outcome.unusable ? kRemovedEndpointId : m_id);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT*) override {
        return NotImplemented(*m_service, "IDeviceTopology::GetSubunitCount");
    }
    HRESULT STDMETHODCALLTYPE GetSubunit(UINT, ISubUnit**) override {
        return NotImplemented(*m_service, "IDeviceTopology::GetSubunit");
    }
    HRESULT STDMETHODCALLTYPE GetPartById(UINT, IPart**) override {
        return NotImplemented(*m_service, "IDeviceTopology::GetPartById");
    }
    HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR*) override {
        return NotImplemented(*m_service, "IDeviceTopology::GetDeviceId");
    }
    HRESULT STDMETHODCALLTYPE GetSignalPath(IPart*, IPart*, WINBOOL, IPartsList**) override {
        return NotImplemented(*m_service, "IDeviceTopology::GetSignalPath");
    }

private:
    std::wstring m_id;
};

}  // namespace

IDeviceTopology* NewDeviceTopology(std::shared_ptr<AudioService> service, const std::wstring& id) {
    return new DeviceTopology(std::move(service), id);
}

}  // namespace sim::audio
