#include "bench/sweep/CallJudge.h"

#include <algorithm>

#include "bench/sweep/Script.h"

namespace sweep {
namespace {

// The part a call of the program was made in: 0 for start-up and the page's start, i for step i.
size_t PartOf(size_t index, const std::vector<size_t>& partCalls) {
    size_t part = 0;
    for (size_t p = 1; p < partCalls.size() && partCalls[p] <= index; ++p) {
        part = p;
    }
    return part;
}

size_t PartOf(const PlannedCall& call) {
    return call.part == Part::Step ? call.step + 1 : 0;
}

}  // namespace

std::string CompareCalls(const std::vector<sim::call_sweep::Call>& calls,
                         const std::vector<size_t>& partCalls, const RunPlan& plan) {
    for (size_t i = 0; i < std::max(calls.size(), plan.calls.size()); ++i) {
        std::string number = std::to_string(i + 1);
        if (i >= calls.size()) {
            return "the program made no call " + number + ", where the rules make " +
                   Describe(plan.calls[i], i + 1);
        }
        if (i >= plan.calls.size()) {
            return "the program made call " + number + " " + calls[i].name + " in " +
                   PartName(PartOf(i, partCalls)) + ", where the rules make no more calls";
        }
        const PlannedCall& rule = plan.calls[i];
        if (calls[i].name != rule.name) {
            return "the program made call " + number + " " + calls[i].name + " in " +
                   PartName(PartOf(i, partCalls)) + ", where the rules make " +
                   Describe(rule, i + 1);
        }
        if (PartOf(i, partCalls) != PartOf(rule)) {
            return "the program made call " + number + " " + calls[i].name + " in " +
                   PartName(PartOf(i, partCalls)) + ", where the rules make it in " +
                   PartName(PartOf(rule));
        }
        if (calls[i].offersUnusable != rule.offersUnusable) {
            return Describe(rule, i + 1) + (rule.offersUnusable ? " offers" : " offers no") +
                   " unusable answer by the rules' reading of the platform, but the stand-in's "
                   "does the other";
        }
    }
    return "";
}

}  // namespace sweep
