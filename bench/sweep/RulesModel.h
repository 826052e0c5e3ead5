#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/sweep/Departures.h"
#include "bench/sweep/EffectRules.h"
#include "bench/sweep/Script.h"
#include "bench/sweep/ScriptModel.h"
#include "sim/audio/Value.h"

// The run as the model follows it (PlanRun), call by call. Its work lives in files named for it:
// the calls and the run's parts in RulesModel.cpp, the driver link in RulesDriver.cpp, the probe
// and the endpoint inventory in RulesInventory.cpp, start-up and shutdown in RulesStartUp.cpp, the
// reads and writes of the stores in RulesStores.cpp, the page's start and its refreshes in
// RulesPage.cpp, and the script's steps in RulesCommands.cpp.
namespace sweep {

// How the platform answers a call of the run.
enum class Answer { Ordinary, Failure, Unusable };

// A read as the caller sees it: a value, success without one (VT_EMPTY), or a failure.
struct Reading {
    enum { Found, Empty, Failed } outcome = Empty;
    sim::audio::Value value;

    bool Succeeded() const { return outcome != Failed; }
    // The payload the effect-word readers take, whatever the type: the first four bytes of a
    // number, a blob's or vector's count, 0 for nothing or for a value that holds no number.
    DWORD Payload() const;
    // A value that holds a number: a word the page shows once its callback is listed.
    bool HoldsNumber() const;
    // An integer of any width: a word a command builds on.
    bool HoldsInteger() const;
};

class RulesModel {
public:
    RulesModel(const sim::machine::MachineState& machine, const std::optional<Fault>& fault,
               Follow follow);

    RunPlan Run();

private:
    using Properties = std::vector<std::pair<PROPERTYKEY, sim::audio::Value>>;

    // --- Calls and parts (RulesModel.cpp).

    Answer Call(const std::string& name, bool offersUnusable, const std::string& serves);
    static bool Ok(Answer answer) { return answer == Answer::Ordinary; }
    void Enter(Part part, size_t step);
    void EndStartUp(const std::string& rule);
    bool Takes(Departure departure);

    // --- The driver link (RulesDriver.cpp).

    struct DriverDevice {
        bool found = false;
    };
    // The spare set, then discovery; false when the spare set cannot be made.
    bool MakeSpareSetAndFind(const std::string& who, DriverDevice* device);
    void FindDevice(const std::string& who, DriverDevice* device);
    // One query exchange: open, control, close. The answer's bytes, none on a failure; whether
    // the control succeeded.
    bool Query(const std::string& who, DWORD code, std::vector<BYTE>* answer);
    DWORD EffectSupportMask();
    bool HeadphonesActive();
    bool SwitchTurnsDetectionOff();
    static bool IsSupportedPath(const std::wstring& path);

    // --- The probe and the endpoint inventory (RulesInventory.cpp).

    struct InventoryRecord {
        std::wstring id;
        EDataFlow flow;
        std::wstring description, friendlyName;
        int kind = 0;
        std::wstring device;  // the endpoint the record's device stands for
    };
    bool Probe(std::wstring* endpointId);
    bool OpenInventory(bool* loaded);
    void BuildInventory(std::vector<InventoryRecord>* records);
    void BuildPass(EDataFlow flow, std::vector<InventoryRecord>* records);
    std::wstring ReadName(const std::wstring& device, const PROPERTYKEY& key);
    DWORD ReadInventoryFormFactor(const std::wstring& device);
    void Classify(InventoryRecord* record);
    UINT JackCount(const std::wstring& device);
    bool JackDescription(const std::wstring& device, KSJACK_DESCRIPTION* jack);
    bool WalkToJacks(const std::wstring& device, std::wstring* jacksOf);
    int SelectEndpoint(const std::vector<InventoryRecord>& records);

    // --- Start-up and shutdown (RulesStartUp.cpp).

    void StartUp();
    bool OpenFxStore(const std::wstring& endpointId);
    bool WindowsGeneration(const std::string& who, bool* vista);
    void Shutdown();

    // --- The stores (RulesStores.cpp).

    const sim::machine::EndpointState* Endpoint(const std::wstring& id) const;
    Properties& StoreOf(sim::audio::Store store);
    const sim::audio::Value* Stored(sim::audio::Store store, const PROPERTYKEY& key);
    void Put(sim::audio::Store store, const PROPERTYKEY& key, const sim::audio::Value& value);
    Reading ReadFx(const PROPERTYKEY& key, const std::string& serves);
    // Enumerator, device, property store, read: as the form factor and the format are read.
    Reading ReadEndpoint(const PROPERTYKEY& key, const std::string& serves);
    // A device's own store opened afresh, then the read.
    Reading ReadDeviceStore(const std::wstring& device, const PROPERTYKEY& key,
                            const std::string& serves);
    // A word by the page's device id: id, version, configuration object, write.
    bool WriteWord(const PROPERTYKEY& key, DWORD word, const std::string& serves);
    bool WriteByConfig(const std::wstring& id, sim::audio::Store store, const PROPERTYKEY& key,
                       const sim::audio::Value& value, const std::string& serves);
    bool WriteEndpoint(const PROPERTYKEY& key, const sim::audio::Value& value,
                       const std::string& serves);
    void Log(sim::audio::Store store, const PROPERTYKEY& key, const sim::audio::Value& value,
             sim::audio::WriteOrigin origin, int slot, bool accepted, const std::wstring& endpoint);
    void Notify(const PROPERTYKEY& key);
    void CheckFormat();
    bool ForceFormat();

    // --- The page's start and its refreshes (RulesPage.cpp).

    void StartPage();
    bool IsFirstRun();
    void WriteDefaults();
    void LoadWords();
    void ReadShownWords(bool storedOnly);
    void ReadBypass();
    void UpdateControls();
    void Refresh();
    void RefreshKind(int kind);

    // --- The script's steps (RulesCommands.cpp).

    bool& BoxOf(Box box) { return m_boxes[static_cast<int>(box)]; }
    void Do(const ScriptStep& step);
    template <typename Record>
    void BuildOn(const PROPERTYKEY& key, Record* record, bool* held, const Record& firstRun);
    rules::Defaults FirstRun() const { return rules::DefaultsFor(static_cast<int>(m_formFactor)); }
    void ClickExpander();
    void ClickHeadphone();
    void ClickNaturalBass();
    void Slide(int position);

    const sim::machine::MachineState m_machine;
    const std::optional<Fault> m_fault;
    const Follow m_follow;
    RunPlan m_plan;
    Part m_part = Part::StartUp;
    size_t m_step = 0;
    bool m_vista;

    // The speakers' stores as the run changes them, and the endpoint the page shows.
    Properties m_stores[2];
    std::wstring m_endpointId;

    bool m_client = false;     // the notification client is registered
    bool m_store = false;      // start-up opened the FX store with a handle
    bool m_listening = false;  // the page's callback is listed: changes reach it
    bool m_device = false;     // the page holds its device
    DWORD m_formFactor = rules::kUnknownFormFactor;
    // Refresh kinds told since the page last read, in order, and gathered.
    std::vector<int> m_told;

    bool m_boxes[3] = {};
    bool m_bypass = false;
    rules::Mode m_mode;
    rules::Headphone m_headphone;
    rules::Expander m_expander;
    rules::Level m_level;
    rules::NaturalBass m_naturalBass;
    bool m_headphoneHeld = true;
    bool m_naturalBassHeld = true;

    // The driver as the script leaves it: front headphones plugged in at its jack step.
    sim::machine::DriverState m_driver;
};

// The id the audio stand-in gives an endpoint removed while a call was made (its unusable answer
// for a collection's item, a topology or a connector): no endpoint of a machine answers to it.
inline constexpr wchar_t kRemoved[] = L"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}";

// The refresh kinds a change asks for, by the key's format id.
inline constexpr int kRefreshBypass = 1;
inline constexpr int kRefreshEffects = 12;
inline constexpr int kRefreshJack = 18;

}  // namespace sweep
