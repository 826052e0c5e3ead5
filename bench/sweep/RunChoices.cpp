#include "bench/sweep/RunChoices.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace sweep {
namespace {

// The sample of a short sweep, per setting: each run is a process of its own, and the short sweep
// runs with the tests.
constexpr size_t kShortSample = 8;

using sim::call_sweep::Variant;

}  // namespace

bool ParseList(const std::wstring& text, std::vector<RunChoice>* list) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find(L',', start), text.size());
        std::wstring piece = text.substr(start, end - start);
        RunChoice run;
        if (!sweep::ParseRunName(std::string(piece.begin(), piece.end()), &run)) {
            std::fprintf(stderr, "halvo-sweep: no run is named \"%ls\"\n", piece.c_str());
            return false;
        }
        list->push_back(run);
        start = end + 1;
    }
    return !list->empty();
}

std::string Unmakeable(const RunChoice& run, const std::vector<sim::call_sweep::Call>& calls) {
    std::string name = sweep::RunName(run);
    if (run.call > calls.size()) {
        return "run " + name + ": this start makes only " + std::to_string(calls.size()) + " calls";
    }
    if (run.variant == Variant::Unusable && !calls[run.call - 1].offersUnusable) {
        return "run " + name + ": call " + std::to_string(run.call) + " (" +
               calls[run.call - 1].name + ") has no unusable answer";
    }
    return "";
}

std::vector<RunChoice> AllRuns(const std::vector<sim::call_sweep::Call>& calls,
                               const Setting& setting) {
    std::vector<RunChoice> runs;
    for (size_t k = 1; k <= calls.size(); ++k) {
        runs.push_back({k, Variant::Failure, setting.start, setting.windows});
        if (calls[k - 1].offersUnusable) {
            runs.push_back({k, Variant::Unusable, setting.start, setting.windows});
        }
    }
    return runs;
}

std::vector<RunChoice> Sample(const std::vector<sim::call_sweep::Call>& calls,
                              const Setting& setting, unsigned seed) {
    std::vector<RunChoice> all = AllRuns(calls, setting);
    std::set<RunChoice> chosen;
    std::mt19937 random(seed);
    while (chosen.size() < std::min(kShortSample, all.size())) {
        chosen.insert(all[std::uniform_int_distribution<size_t>(0, all.size() - 1)(random)]);
    }
    return std::vector<RunChoice>(chosen.begin(), chosen.end());
}

}  // namespace sweep
