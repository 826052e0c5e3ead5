#include "bench/sweep/WriteJudge.h"

#include <algorithm>

#include "bench/sweep/Script.h"
#include "sim/machine/MachineState.h"

namespace sweep {
namespace {

using sim::audio::Store;
using sim::audio::WriteOrigin;
using sim::audio::WriteRecord;

const char* OriginName(WriteOrigin origin) {
    switch (origin) {
        case WriteOrigin::ConfigVista: return "the Vista configuration object";
        case WriteOrigin::Config7: return "the Windows 7 configuration object";
        case WriteOrigin::FxStoreHandle: return "the FX store handle";
        case WriteOrigin::OutsideProgram: return "another program";
    }
    return "?";
}

std::string Describe(Store store, const PROPERTYKEY& key, const sim::audio::Value& value,
                     WriteOrigin origin, int slot, bool accepted, const std::wstring& endpoint) {
    return std::string(store == Store::Fx ? "fx " : "endpoint ") + sim::machine::KeyName(key) +
           " = " + value.Describe() + " by " + OriginName(origin) +
           (slot ? " slot " + std::to_string(slot) : "") +
           (endpoint == kSpeakers ? ""
            : endpoint.empty()    ? " for an empty id"
                                  : " for another id") +
           (accepted ? "" : ", refused");
}

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

// A write that reached the service matches the rules' when it went the same way, for the same
// endpoint, with the same value and result; a refused write too must have tried the intended
// value.
bool Matches(const WriteRecord& actual, const IntendedWrite& intended) {
    return SUCCEEDED(actual.result) == intended.accepted && actual.store == intended.store &&
           SameKey(actual.key, intended.key) && actual.origin == intended.origin &&
           actual.slot == intended.slot && actual.endpointId == intended.endpoint &&
           actual.value == intended.value;
}

}  // namespace

std::string Describe(const WriteRecord& write) {
    return Describe(write.store, write.key, write.value, write.origin, write.slot,
                    SUCCEEDED(write.result), write.endpointId);
}

std::string Describe(const IntendedWrite& write) {
    return Describe(write.store, write.key, write.value, write.origin, write.slot, write.accepted,
                    write.endpoint);
}

WriteVerdict JudgeWrites(const std::vector<WriteRecord>& log, const std::vector<size_t>& partStarts,
                         const RunPlan& plan, const RunPlan& faultFree) {
    WriteVerdict verdict;
    for (size_t part = 0; part < plan.parts.size(); ++part) {
        size_t begin = part < partStarts.size() ? partStarts[part] : log.size();
        size_t end = part + 1 < partStarts.size() ? partStarts[part + 1] : log.size();
        if (part + 1 == plan.parts.size()) {
            end = log.size();
        }
        const std::vector<IntendedWrite>& intended = plan.parts[part];
        size_t made = end > begin ? end - begin : 0;
        for (size_t i = 0; i < std::max(made, intended.size()); ++i) {
            if (i < made && i < intended.size() && Matches(log[begin + i], intended[i])) {
                continue;
            }
            std::string what =
                i >= made ? "wrote nothing more, where the rules write " + Describe(intended[i])
                : i >= intended.size()
                    ? "wrote " + Describe(log[begin + i]) + ", where the rules write nothing more"
                    : "wrote " + Describe(log[begin + i]) + ", where the rules write " +
                          Describe(intended[i]);
            verdict.problems.push_back(PartName(part) + ": write " + std::to_string(i + 1) + " " +
                                       what);
            // The run has parted from the rules: what it writes later proves nothing more.
            return verdict;
        }
        bool wrote = false, writesWithoutFault = false;
        for (size_t i = begin; i < end; ++i) {
            wrote = wrote || SUCCEEDED(log[i].result);
        }
        if (part < faultFree.parts.size()) {
            for (const IntendedWrite& write : faultFree.parts[part]) {
                writesWithoutFault = writesWithoutFault || write.accepted;
            }
        }
        if (writesWithoutFault && !wrote) {
            verdict.silentSteps.push_back(PartName(part));
        }
    }
    return verdict;
}

}  // namespace sweep
