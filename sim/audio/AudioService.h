#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/audio/Value.h"
#include "sim/platform/Locks.h"

namespace sim::audio {

// The two property stores of an endpoint.
enum class Store { Endpoint, Fx };

// The two generations of the undocumented components.
enum class Generation { Vista, Windows7 };

// The path a write came by: one of the two endpoint-configuration objects, or
// IPropertyStore::SetValue on an FX store handle.
enum class WriteOrigin { ConfigVista, Config7, FxStoreHandle, OutsideProgram };

struct WriteRecord {
    WriteOrigin origin;
    int slot;  // the vtable slot that was called
    Store store;
    std::wstring endpointId;
    PROPERTYKEY key;  // PKEY_AudioEngine_DeviceFormat for a device-format write
    Value value;
    HRESULT result;
};

// What an endpoint's device topology shows: its connectors, and the jacks that the adapter's side
// of its first connector describes. Every jack index below jackCount describes as jack.
struct EndpointTopology {
    UINT connectorCount = 1;
    UINT jackCount = 0;
    KSJACK_DESCRIPTION jack = {};
};

struct Notification {
    std::wstring endpointId;
    PROPERTYKEY key;
    DWORD threadId;  // the thread the clients were called on
};

// A stand-in for the Windows audio endpoint service and its two undocumented components (the
// FX-store accessors and the endpoint-configuration objects). Start() registers its class
// objects, so the system's own CoCreateInstance calls reach it. Tests and the bench describe the
// machine through it, make any operation fail, and read back what was written and notified.
class AudioService : public std::enable_shared_from_this<AudioService> {
public:
    // Creates the service and registers its class objects; the calling thread must be in the
    // multithreaded apartment. Only one service runs at a time.
    static std::shared_ptr<AudioService> Start();
    // The running service, or null.
    static std::shared_ptr<AudioService> Current();

    AudioService(const AudioService&) = delete;
    AudioService& operator=(const AudioService&) = delete;
    ~AudioService();

    // Revokes the class objects, delivers the notifications still queued and ends the
    // delivery threads. Stop, and the release of the last reference to the service, belong to
    // the thread that started it, never to a notification.
    void Stop();

    // The machine. Adding an id that is already there lists the endpoint once more, under the
    // flow given, so one pass can return the id twice. Both listings are the endpoint the id
    // names: what is set for the id reaches the first, a new state and the removal reach all.
    void AddEndpoint(const std::wstring& id, EDataFlow flow = eRender,
                     DWORD state = DEVICE_STATE_ACTIVE);
    void RemoveEndpoint(const std::wstring& id);
    void SetEndpointState(const std::wstring& id, DWORD state);
    // The endpoint's device topology; an endpoint starts with one connected connector and no
    // jacks, so the walk to the jack description gets through but finds nothing.
    void SetConnectorCount(const std::wstring& id, UINT count);
    void SetJack(const std::wstring& id, const KSJACK_DESCRIPTION& jack, UINT jackCount = 1);
    void SetProperty(Store store, const std::wstring& id, const PROPERTYKEY& key, Value value);
    void RemoveProperty(Store store, const std::wstring& id, const PROPERTYKEY& key);
    std::optional<Value> Property(Store store, const std::wstring& id,
                                  const PROPERTYKEY& key) const;
    // A change made by another program: stored, logged and notified like any accepted write.
    void ChangeFromOutside(Store store, const std::wstring& id, const PROPERTYKEY& key,
                           Value value);
    // A change notification alone, as the service sends for changes it does not store here.
    void Notify(const std::wstring& id, const PROPERTYKEY& key);
    // Called after every accepted write, on the writer's thread, outside the service's lock.
    void SetWriteObserver(std::function<void(const WriteRecord&)> observer);
    // Called as each operation is entered, on the caller's thread, before the service acts; for a
    // test that makes something happen at that very moment.
    void SetCallObserver(std::function<void(const char* operation)> observer);

    // Whether IPropertyStore::SetValue on an FX store handle keeps the value (the default) or
    // answers STG_E_ACCESSDENIED.
    void SetFxHandleWritable(bool writable);

    // Failures: the nth call of the operation from now on (counting from 1), or every call when
    // nth is 0, returns result. FailOnKey only counts and fails calls for that key. SucceedWithNull
    // makes the call succeed with a null result (a null device, a null id). A property store's
    // GetValue told to answer a success code other than S_OK reads its value as usual and
    // answers that code with it.
    void FailOn(const char* operation, HRESULT result, int nth = 0);
    void FailOnKey(const char* operation, const PROPERTYKEY& key, HRESULT result, int nth = 0);
    void SucceedWithNull(const char* operation, int nth = 0);
    void ClearFailures();
    // How often the operation was called.
    int Calls(const char* operation) const;

    // What happened.
    std::vector<WriteRecord> Writes() const;
    void ClearWrites();
    // Waits until every notification queued so far has been delivered.
    void FlushNotifications();
    // The same, then lists every notification delivered so far, in the order deliveries ended.
    std::vector<Notification> Notifications();
    // Calls of slots the service does not implement, and other calls no caller should make.
    std::vector<std::string> UnexpectedCalls() const;

    // The notification clients. By default the service keeps to the strictest reading of the
    // platform's contract: registration takes no reference on the client (the client keeps itself
    // alive until it is unregistered), unregistration does not wait for a call into the client
    // that is under way, the service holds no reference of its own while it calls a client, and
    // changes are delivered by several service threads, so that calls into one client overlap and
    // may come in any order. Once unregistration has returned, no new call into that client begins:
    // it waits for the service's hand-over of a call it has already decided on (kHandOver from the
    // decision at most), never for the call itself.
    enum class ClientReferences {
        NotTaken,              // today's documentation: neither call touches the client's count
        TakenWhileRegistered,  // Windows Vista's: registration AddRefs, unregistration Releases
    };
    void SetClientReferences(ClientReferences references);
    // A call the service has decided on when the client is unregistered: by default unregistration
    // waits for its hand-over, as above. MayFollow is the strictest reading: unregistration
    // returns at once, and the call begins a moment later (a few microseconds, varying from call
    // to call), as a service thread that took the client up just before the unregistration makes
    // it. A client freed once it is unregistered is then called after it is gone.
    enum class LateCalls { HandedOverFirst, MayFollow };
    void SetLateCalls(LateCalls lateCalls);
    int RegisteredClients() const;
    std::vector<IMMNotificationClient*> Clients() const;
    // Calls into clients under way right now, on all service threads.
    int CallsInProgress() const;
    // Lets go of every registered client, as the service does when the program's process ends;
    // for a test that made the program's own unregistration fail.
    void DropClients();

    // --- For the service's own COM objects. ---
    // How a call is to end: with `result`, with a null result (SucceedWithNull), or, for the call
    // sweep, with the unusable answer the method offers (Offers::Unusable), described where the
    // method produces it.
    struct Outcome {
        HRESULT result;
        bool null;
        bool unusable;
    };
    enum class Offers { FailureOnly, Unusable };
    Outcome Enter(const char* operation, const PROPERTYKEY* key = nullptr,
                  Offers offers = Offers::FailureOnly);
    bool HasEndpoint(const std::wstring& id) const;
    std::vector<std::wstring> EndpointIds(EDataFlow flow, DWORD stateMask) const;
    bool EndpointState(const std::wstring& id, DWORD* state) const;
    bool Topology(const std::wstring& id, EndpointTopology* topology) const;
    bool FxHandleWritable() const;
    // Stores a value and queues its change notification; logs the write with its result.
    HRESULT Write(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                  const PROPERTYKEY& key, const PROPVARIANT& value);
    HRESULT WriteFormat(WriteOrigin origin, int slot, const std::wstring& id,
                        const WAVEFORMATEX* format);
    // A device format as the service takes it: the header and as many extra bytes as it says,
    // up to a whole WAVEFORMATEXTENSIBLE.
    static Value FormatValue(const WAVEFORMATEX* format);
    void LogWrite(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                  const PROPERTYKEY& key, Value value, HRESULT result);
    std::vector<std::pair<PROPERTYKEY, Value>> Properties(Store store,
                                                          const std::wstring& id) const;
    HRESULT RegisterClient(IMMNotificationClient* client);
    HRESULT UnregisterClient(IMMNotificationClient* client);
    void Unexpected(const std::string& what);

private:
    static constexpr int kDeliveryThreads = 3;
    static constexpr std::chrono::milliseconds kHandOver{100};

    struct Endpoint {
        std::wstring id;
        EDataFlow flow;
        DWORD state;
        std::vector<std::pair<PROPERTYKEY, Value>> properties[2];
        EndpointTopology topology;
    };
    struct Client {
        IMMNotificationClient* client;
        bool referenced;  // registered while the service took references: it holds one
    };
    struct CallUnderWay {
        IMMNotificationClient* client;
        DWORD thread;
        std::chrono::steady_clock::time_point decided;
    };
    struct FailureRule {
        std::string operation;
        std::optional<PROPERTYKEY> key;
        HRESULT result;
        bool null;
        int nth;
        int seen;
    };

    AudioService();
    Endpoint* Find(const std::wstring& id);
    const Endpoint* Find(const std::wstring& id) const;
    static void Put(std::vector<std::pair<PROPERTYKEY, Value>>& properties, const PROPERTYKEY& key,
                    Value value);
    HRESULT Commit(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                   const PROPERTYKEY& key, Value value, HRESULT hr);
    void DeliverNotifications();
    bool IsRegistered(IMMNotificationClient* client) const;

    mutable SlimLock m_mutex;
    std::vector<Endpoint> m_endpoints;
    bool m_fxHandleWritable = true;
    std::vector<FailureRule> m_failures;
    std::vector<std::pair<std::string, int>> m_calls;
    std::vector<WriteRecord> m_writes;
    std::vector<std::string> m_unexpected;
    std::vector<Client> m_clients;
    ClientReferences m_clientReferences = ClientReferences::NotTaken;
    LateCalls m_lateCalls = LateCalls::HandedOverFirst;
    unsigned m_lateCallDelay = 0;  // microseconds, for the next late call

    // Notifications go out on threads of the service's own, as Windows does.
    std::vector<std::thread> m_deliverers;
    SlimCondition m_notifyWake;
    SlimCondition m_notifyIdle;
    std::deque<std::pair<std::wstring, PROPERTYKEY>> m_queue;
    int m_deliveriesInProgress = 0;
    std::vector<CallUnderWay> m_callsUnderWay;
    bool m_stopping = false;
    int m_deliverersDone = 0;
    std::vector<Notification> m_delivered;

    std::vector<DWORD> m_registrations;  // CoRegisterClassObject cookies
    std::function<void(const WriteRecord&)> m_writeObserver;
    mutable SlimLock m_callObserverMutex;
    std::function<void(const char*)> m_callObserver;
};

// What a test that touched COM must leave behind: "" when no object of the service is alive,
// no notification client is registered and no unexpected call was made; otherwise a description.
std::string DescribeLeftovers(const AudioService& service);

// Whether two property keys are the same key.
bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b);

}  // namespace sim::audio
