// The sweep's judgement of a run's outside calls against the rules': the same calls, in the same
// order, each in its part. Two calls the program swapped fail the run, whatever they write.
#include <gtest/gtest.h>

#include "bench/sweep/CallJudge.h"
#include "tests/bench/ModelFixture.h"

namespace {

using namespace model_test;
using sim::call_sweep::Call;

struct Made {
    std::vector<Call> calls;
    std::vector<size_t> partCalls;
};

// The calls as the program would make them by the plan.
Made AsPlanned(const RunPlan& plan) {
    Made made;
    for (const sweep::PlannedCall& call : plan.calls) {
        made.calls.push_back({call.name, call.offersUnusable});
    }
    made.partCalls = plan.partCalls;
    return made;
}

TEST(CompareCalls, TheRulesOwnCallsPass) {
    RunPlan plan = sweep::PlanRun(Machine(true), std::nullopt);
    Made made = AsPlanned(plan);
    EXPECT_EQ("", sweep::CompareCalls(made.calls, made.partCalls, plan));
}

TEST(CompareCalls, EachDepartureFromTheRulesCallsIsNamed) {
    RunPlan plan = sweep::PlanRun(Machine(false), std::nullopt);
    size_t load = CallNumber(plan, "LoadLibraryW(XANPropPageExt.dll)", Part::StartUp) - 1;
    size_t marker = CallNumber(plan, "FxStore::GetValue {A6F29F8F},2", Part::PageStart) - 1;
    size_t firstStep = plan.partCalls[1];
    const struct {
        const char* what;
        void (*change)(Made*, size_t, size_t, size_t);
        const char* start;  // how the judgement begins
    } cases[] = {
        {"the library loaded before the inventory's enumerator",
         [](Made* m, size_t load, size_t, size_t) {
             std::swap(m->calls[load - 1], m->calls[load]);
         },
         "the program made call 13 LoadLibraryW(XANPropPageExt.dll) in start-up and the page's "
         "start, where the rules make call 13 CoCreateInstance(MMDeviceEnumerator) (start-up: the "
         "inventory's enumerator)"},
        {"the marker's read left out",
         [](Made* m, size_t, size_t marker, size_t) {
             m->calls.erase(m->calls.begin() + static_cast<std::ptrdiff_t>(marker));
         },
         "the program made call "},
        {"a call too many at the end",
         [](Made* m, size_t, size_t, size_t) {
             m->calls.push_back({"CloseHandle", false});
         },
         "the program made call "},
        {"the last call never made", [](Made* m, size_t, size_t, size_t) { m->calls.pop_back(); },
         "the program made no call "},
        {"the first step's first call made in the page's start",
         [](Made* m, size_t, size_t, size_t first) {
             ++m->partCalls[1];
             (void)first;
         },
         "the program made call "},
        {"a call that offers what the platform does not",
         [](Made* m, size_t load, size_t, size_t) { m->calls[load].offersUnusable = true; },
         "call 14 LoadLibraryW(XANPropPageExt.dll)"},
    };
    for (const auto& c : cases) {
        Made made = AsPlanned(plan);
        c.change(&made, load, marker, firstStep);
        std::string judged = sweep::CompareCalls(made.calls, made.partCalls, plan);
        EXPECT_EQ(0u, judged.rfind(c.start, 0)) << c.what << ": " << judged;
    }
}

}  // namespace
