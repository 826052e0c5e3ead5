// The codec driver stand-in's state, shared by ScopedCodecDriver and the calls it puts in place.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/driver/CodecDriver.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/Locks.h"

namespace sim::driver {

struct FailureRule {
    Step step;
    std::optional<DWORD> code;
    DWORD error;
    int nth;
    int seen;
};

struct DeviceInfoSet {
    bool spare;
    std::vector<size_t> interfaces;  // indices into State::interfaces not yet deleted
};

struct Answer {
    std::vector<BYTE> bytes;
    DWORD reported;
};

struct ScopedCodecDriver::State {
    // The bench changes the answers from a thread of its own while the program asks.
    OwnedMutex mutex;
    std::vector<std::wstring> interfaces;
    std::map<DWORD, Answer> answers;
    std::vector<FailureRule> failures;
    SizeAnswer sizeAnswer = SizeAnswer::InsufficientBuffer;

    std::map<HDEVINFO, DeviceInfoSet> sets;
    std::vector<HANDLE> handles;
    UINT_PTR nextSet = 0x5E70000;
    UINT_PTR nextHandle = 0x4A10000;
    std::vector<std::string> calls;
    std::vector<std::string> unexpected;
    OpenArguments lastOpen = {};
    DWORD lastClassDevsFlags = 0;
    std::map<DWORD, DWORD> outputSizes;

    // The error the step must fail with now, or 0. The call is the one last listed in `calls`.
    // A call that can succeed unusably passes `unusable`, which tells whether the sweep asks for
    // that answer now.
    DWORD FailureFor(Step step, DWORD code = 0, bool* unusable = nullptr) {
        DWORD error = 0;
        if (call_sweep::Active()) {
            switch (call_sweep::AnswerFor(calls.back(), unusable
                                                            ? call_sweep::Offer::FailureOrUnusable
                                                            : call_sweep::Offer::FailureOnly)) {
                case call_sweep::Answer::Failure:
                    error = step == Step::Open                                ? ERROR_ACCESS_DENIED
                            : step == Step::Close || step == Step::DestroySet ? ERROR_INVALID_HANDLE
                                                                              : ERROR_GEN_FAILURE;
                    break;
                case call_sweep::Answer::Unusable: *unusable = true; break;
                case call_sweep::Answer::Ordinary: break;
            }
        }
        for (FailureRule& rule : failures) {
            if (rule.step != step || (rule.code && *rule.code != code)) {
                continue;
            }
            ++rule.seen;
            if (rule.nth == 0 || rule.nth == rule.seen) {
                error = rule.error;
            }
        }
        return error;
    }

    DeviceInfoSet* FindSet(HDEVINFO set) {
        auto found = sets.find(set);
        return found == sets.end() ? nullptr : &found->second;
    }

    HDEVINFO NewSet(bool spare, std::vector<size_t> members) {
        HDEVINFO handle = reinterpret_cast<HDEVINFO>(nextSet);
        nextSet += 0x10;
        sets[handle] = DeviceInfoSet{spare, std::move(members)};
        return handle;
    }
};

// Puts the stand-in device-setup and device I/O calls in place of Win32's, answering from the
// state, and takes them out again.
void InstallStandInCalls(ScopedCodecDriver::State* state);
void RemoveStandInCalls();

}  // namespace sim::driver
