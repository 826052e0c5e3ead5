#include "bench/sweep/RuleList.h"

#include <cstdio>
#include <optional>

#include "bench/sweep/Script.h"
#include "bench/sweep/WriteJudge.h"

namespace sweep {
namespace {

using sim::call_sweep::Variant;

RunPlan Plan(const Setting& setting, const std::optional<Fault>& fault) {
    return PlanRun(SweepMachine(setting.start, setting.windows), fault);
}

std::string PartOf(const PlannedCall& call) {
    return call.part == Part::StartUp     ? "start-up"
           : call.part == Part::PageStart ? "page start"
                                          : "step " + std::to_string(call.step + 1);
}

// What the run does after the fault, in a few words: how start-up ends, or the writes of the
// part the call is in, beside those of the fault-free run.
std::string Consequence(const PlannedCall& call, const RunPlan& faulted, const RunPlan& faultFree) {
    if (!faulted.sheetShown) {
        return "ends start-up: " + faulted.ended;
    }
    if (call.part == Part::StartUp) {
        return "carries on";
    }
    size_t part = call.part == Part::Step ? call.step + 1 : 0;
    const auto& writes = faulted.parts[part];
    const auto& without = faultFree.parts[part];
    bool same = writes.size() == without.size();
    for (size_t i = 0; same && i < writes.size(); ++i) {
        same = Describe(writes[i]) == Describe(without[i]);
    }
    if (same) {
        return "writes as without it";
    }
    std::string text = writes.empty() ? "writes nothing" : "writes";
    for (const IntendedWrite& write : writes) {
        text += (&write == &writes.front() ? " " : "; ") + Describe(write);
    }
    return text;
}

}  // namespace

size_t RulesCallCount(const Setting& setting) {
    return Plan(setting, std::nullopt).calls.size();
}

void PrintRuleList(const Setting& setting) {
    RunPlan faultFree = Plan(setting, std::nullopt);
    std::printf("%s: %zu calls by the rules\n", SettingName(setting).c_str(),
                faultFree.calls.size());
    for (size_t i = 0; i < faultFree.calls.size(); ++i) {
        const PlannedCall& call = faultFree.calls[i];
        std::printf("%4zu  %s  [%s: %s]\n", i + 1, call.name.c_str(), PartOf(call).c_str(),
                    call.serves.c_str());
        std::printf(
            "        failing: %s\n",
            Consequence(call, Plan(setting, Fault{i + 1, Variant::Failure}), faultFree).c_str());
        if (call.offersUnusable) {
            std::printf("        unusable: %s\n",
                        Consequence(call, Plan(setting, Fault{i + 1, Variant::Unusable}), faultFree)
                            .c_str());
        }
    }
    PrintStartUpJudgements(setting);
}

void PrintStartUpJudgements(const Setting& setting) {
    RunPlan faultFree = Plan(setting, std::nullopt);
    int ends = 0, carriesOn = 0, unusableEnds = 0, unusableCarriesOn = 0;
    for (size_t i = 0; i < faultFree.calls.size(); ++i) {
        if (faultFree.calls[i].part != Part::StartUp) {
            continue;
        }
        (Plan(setting, Fault{i + 1, Variant::Failure}).sheetShown ? carriesOn : ends) += 1;
        if (faultFree.calls[i].offersUnusable) {
            (Plan(setting, Fault{i + 1, Variant::Unusable}).sheetShown ? unusableCarriesOn
                                                                       : unusableEnds) += 1;
        }
    }
    std::printf(
        "%s: of the %d start-up calls, the rules end start-up when %d fail and carry on "
        "when %d fail; of their unusable answers %d end it and %d carry on\n",
        SettingName(setting).c_str(), ends + carriesOn, ends, carriesOn, unusableEnds,
        unusableCarriesOn);
}

}  // namespace sweep
