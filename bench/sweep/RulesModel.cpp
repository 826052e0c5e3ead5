#include "bench/sweep/RulesModel.h"

#include <algorithm>
#include <cstdio>

namespace sweep {

using sim::call_sweep::Variant;

DWORD Reading::Payload() const {
    if (!HoldsNumber()) {
        return 0;
    }
    VARTYPE type = value.Type();
    if (type & VT_VECTOR) {
        size_t size = sim::audio::ScalarSize(static_cast<VARTYPE>(type & ~VT_VECTOR));
        return static_cast<DWORD>(!value.Elements().empty() ? value.Elements().size()
                                  : size                    ? value.Bytes().size() / size
                                                            : 0);
    }
    if (type == VT_BLOB || type == VT_BLOB_OBJECT) {
        return static_cast<DWORD>(value.Bytes().size());
    }
    if (type == VT_DECIMAL && value.Bytes().size() == 16) {
        DWORD low = 0;  // the lowest 32 bits of its number, at byte 8
        std::copy_n(value.Bytes().begin() + 8, 4, reinterpret_cast<BYTE*>(&low));
        return low;
    }
    return value.UInt32();
}

namespace {

bool IsInteger(VARTYPE type) {
    switch (type) {
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

}  // namespace

// A number carries its first four bytes; a blob or a vector its count first; anything else (a
// string, an address) no number.
bool Reading::HoldsNumber() const {
    if (outcome != Found || value.IsEmpty() || value.Type() == VT_NULL) {
        return false;
    }
    VARTYPE type = value.Type();
    if (((type & VT_VECTOR) && !(type & (VT_ARRAY | VT_BYREF))) || IsInteger(type)) {
        return true;
    }
    switch (type) {
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_ERROR:
        case VT_FILETIME:
        case VT_DECIMAL:
        case VT_BLOB:
        case VT_BLOB_OBJECT: return true;
        default: return false;
    }
}

bool Reading::HoldsInteger() const {
    return outcome == Found && IsInteger(value.Type());
}

RulesModel::RulesModel(const sim::machine::MachineState& machine, const std::optional<Fault>& fault,
                       Follow follow)
    : m_machine(machine),
      m_fault(fault),
      m_follow(follow),
      m_vista(machine.windowsMajor == 6 && machine.windowsMinor == 0),
      m_driver(machine.driver) {}

RunPlan RulesModel::Run() {
    m_plan.partCalls.push_back(0);
    m_plan.parts.emplace_back();
    StartUp();
    if (!m_plan.sheetShown) {
        m_plan.parts.resize(1);
    }
    m_plan.endpointStore = m_stores[0];
    m_plan.fxStore = m_stores[1];
    return m_plan;
}

// Each call the rules make is numbered as the sweep numbers the program's; the one the fault names
// is answered otherwise. A call that offers no unusable answer answers as usual when asked for one.
Answer RulesModel::Call(const std::string& name, bool offersUnusable, const std::string& serves) {
    m_plan.calls.push_back({name, offersUnusable, m_part, m_step, serves});
    if (!m_fault || m_fault->call != m_plan.calls.size()) {
        return Answer::Ordinary;
    }
    if (m_fault->variant == Variant::Unusable) {
        return offersUnusable ? Answer::Unusable : Answer::Ordinary;
    }
    return Answer::Failure;
}

void RulesModel::Enter(Part part, size_t step) {
    bool newPart = part == Part::Step;
    m_part = part;
    m_step = step;
    if (newPart) {
        m_plan.partCalls.push_back(m_plan.calls.size());
        m_plan.parts.emplace_back();
    }
}

void RulesModel::EndStartUp(const std::string& rule) {
    m_plan.sheetShown = false;
    m_plan.ended = rule;
}

bool RulesModel::Takes(Departure departure) {
    if (m_follow != Follow::NamedDepartures) {
        return false;
    }
    std::string name = TextOf(departure).name;
    if (std::find(m_plan.departures.begin(), m_plan.departures.end(), name) ==
        m_plan.departures.end()) {
        m_plan.departures.push_back(name);
    }
    return true;
}

RunPlan PlanRun(const sim::machine::MachineState& machine, const std::optional<Fault>& fault,
                Follow follow) {
    return RulesModel(machine, fault, follow).Run();
}

std::string Describe(const PlannedCall& call, size_t number) {
    std::string part = call.part == Part::StartUp     ? "start-up"
                       : call.part == Part::PageStart ? "page start"
                                                      : "step " + std::to_string(call.step + 1);
    return "call " + std::to_string(number) + " " + call.name + " (" + part + ": " + call.serves +
           ")";
}

std::string KeyText(const PROPERTYKEY& key) {
    char text[32];
    std::snprintf(text, sizeof text, "{%08lX},%lu", static_cast<unsigned long>(key.fmtid.Data1),
                  static_cast<unsigned long>(key.pid));
    return text;
}

}  // namespace sweep
