#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/sweep/CallRoles.h"
#include "bench/sweep/EffectRules.h"
#include "bench/sweep/Script.h"
#include "bench/sweep/ScriptModel.h"
#include "sim/audio/Value.h"

// The page as the sweep's model of the rules follows it through one run (PlanRun): its copy of the
// speakers' stores, its records and boxes. Its work lives in files named for it: the run and its
// parts in ScriptModel.cpp, the reads and writes in PageModelStores.cpp, the page's start and the
// load in PageModelStart.cpp, the commands in PageModelCommands.cpp and the refreshes in
// PageModelRefresh.cpp.
namespace sweep {

// A read as the caller sees it: a value, success without one (VT_EMPTY), or a failure.
struct Reading {
    enum { Found, Empty, Failed } outcome = Empty;
    sim::audio::Value value;

    // The payload the effect-word readers take, whatever the type; 0 without a value.
    DWORD Payload() const { return outcome == Found ? value.UInt32() : 0; }
    // A word the page shows once its callback is listed: a value that holds a number.
    bool HoldsWord() const { return outcome == Found && !value.IsEmpty(); }
    // A word to build a command on: an integer.
    bool HoldsInteger() const {
        switch (outcome == Found ? value.Type() : static_cast<VARTYPE>(VT_EMPTY)) {
            case VT_I1:
            case VT_UI1:
            case VT_I2:
            case VT_UI2:
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_I8:
            case VT_UI8: return true;
            default: return false;
        }
    }
};

enum RefreshKind { kBypass = 1, kEffects = 2 };

class PageModel {
public:
    PageModel(const ModelMachine& machine, const std::optional<Fault>& fault)
        : m_stores{machine.endpointStore, machine.fxStore},
          m_vista(machine.windowsMinor == 0),
          m_fault(fault) {}

    RunPlan Run();

private:
    using Properties = std::vector<std::pair<PROPERTYKEY, sim::audio::Value>>;

    // --- The run's parts, and the one call answered otherwise.

    void Enter(Part part, size_t step);
    std::optional<Link> Hit(Purpose purpose, const std::string& key, int occurrence) const;
    bool FaultIs(Purpose purpose) const { return m_fault && m_fault->role.purpose == purpose; }
    bool Unusable() const {
        return m_fault && m_fault->variant == sim::call_sweep::Variant::Unusable;
    }

    // --- The stores.

    Properties& StoreOf(sim::audio::Store store) {
        return m_stores[store == sim::audio::Store::Fx ? 1 : 0];
    }
    const sim::audio::Value* Stored(sim::audio::Store store, const PROPERTYKEY& key);
    Reading Read(sim::audio::Store store, const PROPERTYKEY& key);
    bool Write(sim::audio::Store store, const PROPERTYKEY& key, const sim::audio::Value& value,
               bool throughHandle = false);
    void Put(sim::audio::Store store, const PROPERTYKEY& key, const sim::audio::Value& value);
    void MarkRefresh(const PROPERTYKEY& key);
    void WriteWord(const PROPERTYKEY& key, DWORD word);

    // --- Start-up and the page's start.

    void StartPage();
    void WriteDefaults();
    void LoadWords();
    void UpdateControls();

    // --- The script's steps.

    bool& BoxOf(Box box) { return m_boxes[static_cast<int>(box)]; }
    rules::Defaults FirstRun() const { return rules::DefaultsFor(static_cast<int>(m_formFactor)); }
    void Do(const ScriptStep& step);
    template <typename Record>
    void ReadForCommand(const PROPERTYKEY& key, Record* record, bool* held, const Record& firstRun);
    void WriteExpander(bool on);
    void ClickExpander();
    void ClickHeadphone();
    void ClickNaturalBass();
    void CheckFormat();

    // --- The refreshes after a step.

    void Refresh();
    void RefreshBypass();
    void RefreshEffects(bool storedOnly = false);

    Properties m_stores[2];
    bool m_vista;
    std::optional<Fault> m_fault;
    RunPlan m_plan;

    Part m_part = Part::PageStart;
    size_t m_step = 0;
    std::map<std::string, int> m_reads, m_writes;  // this part's, by key
    int m_refresh = 0;

    bool m_client = true;
    bool m_device = true;
    DWORD m_formFactor = rules::kUnknownFormFactor;
    bool m_boxes[3] = {};
    rules::Mode m_mode;
    rules::Headphone m_headphone;
    rules::Expander m_expander;
    rules::Level m_level;
    rules::NaturalBass m_naturalBass;
    // Whether the headphone and Natural Bass records were taken from a word a command may build
    // on: a default, an integer read, or a word a command built.
    bool m_headphoneHeld = true;
    bool m_naturalBassHeld = true;
};

}  // namespace sweep
