// The driver's answers of any length, any reported length and any bytes, with failed opens and
// controls: the whole policy decision, and the jack, retasking and effect-support queries one by
// one. Bytes past the reported length must read as zero, whatever the driver left there, and a
// count past the output's end must not take the program past it.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/badinput/Kinds.h"
#include "driver/EffectSupport.h"
#include "driver/FrontPanelJacks.h"
#include "driver/PolicyState.h"
#include "platform/Platform.h"
#include "sim/driver/CodecDriver.h"
#include "sim/platform/StandInApi.h"

namespace badinput {
namespace {

namespace control = sim::driver::control;

const std::wstring kSupportedPath =
    L"\\\\?\\hdaudio#func_01&ven_9e5b&dev_0615&subsys_1025034a&rev_1001#4&2d5c1b7e&0&0001#"
    L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}\\elineoutwave";

// One control's answer as the stand-in gives it, and whether the control fails outright.
struct ControlAnswer {
    DWORD code;
    DWORD size;  // the output length the program offers
    std::vector<BYTE> bytes;
    DWORD reported;
    bool fails;
    // The count the driver claims, past the output's end; the stand-in never claims more than
    // the output holds, so OverReportingControl makes the claim.
    DWORD overReported;

    // The answer as the program must see it: the bytes up to the reported length, then zeros.
    std::vector<BYTE> Seen() const {
        std::vector<BYTE> seen(size, 0);
        DWORD counted = overReported ? overReported : reported;
        for (size_t i = 0; i < size && i < counted && i < bytes.size(); ++i) {
            seen[i] = bytes[i];
        }
        return seen;
    }
    DWORD DwordAt(size_t offset) const {
        std::vector<BYTE> seen = Seen();
        DWORD value;
        std::memcpy(&value, seen.data() + offset, sizeof value);
        return value;
    }
    WORD Word() const {
        std::vector<BYTE> seen = Seen();
        return static_cast<WORD>(seen[0] | seen[1] << 8);
    }
};

// A small number often, so that the listed values come up; any word otherwise.
DWORD Field(Random& random) {
    return random.OneIn(4) ? random.Word() : static_cast<DWORD>(random.Between(0, 4));
}

ControlAnswer MakeAnswer(Random& random, DWORD code, DWORD size) {
    ControlAnswer answer = {code, size, {}, 0, random.OneIn(10), 0};
    size_t length;
    switch (random.Between(0, 3)) {
        case 0: length = random.Between(0, size); break;
        case 1: length = random.Between(size, size * 3 + 8); break;
        default: length = size; break;
    }
    answer.bytes = random.Bytes(length);
    // The fields the program reads mostly hold values it knows.
    auto put = [&](size_t offset, DWORD value, size_t width) {
        for (size_t i = 0; i < width && offset + i < length; ++i) {
            answer.bytes[offset + i] = static_cast<BYTE>(value >> (8 * i));
        }
    };
    if (code == control::Policy && !random.OneIn(4)) {
        put(16, static_cast<DWORD>(random.Between(0, 2)), 4);
    } else if (code == control::JackStatus && !random.OneIn(4)) {
        put(0, static_cast<DWORD>(random.Between(0, 3)) << 4, 2);
    } else if (size == 8) {
        put(0, Field(random), 4);
        put(4, Field(random), 4);
    } else if (code == control::EffectSupport && !random.OneIn(4)) {
        put(0, random.OneIn(2) ? 0x8 : Field(random), 4);
    }
    switch (random.Between(0, 3)) {
        case 0: answer.reported = static_cast<DWORD>(random.Between(0, size)); break;
        case 1: answer.reported = static_cast<DWORD>(random.Between(0, 0xFFFFFFFF)); break;
        default: answer.reported = static_cast<DWORD>(length); break;
    }
    if (random.OneIn(6)) {
        answer.overReported = static_cast<DWORD>(
            random.OneIn(2) ? size + random.Between(1, 8) : random.Between(size + 1, 0xFFFFFFFF));
    }
    return answer;
}

struct Answers {
    ControlAnswer policy, jack, retasking, chip, support;
};

Answers MakeAnswers(Random& random) {
    return {MakeAnswer(random, control::Policy, 128), MakeAnswer(random, control::JackStatus, 2),
            MakeAnswer(random, control::Retasking, 8),
            MakeAnswer(random, control::ChipRetasking, 8),
            MakeAnswer(random, control::EffectSupport, 4)};
}

// The stand-in's control, and the counts to claim in place of its own, by control.
BOOL(WINAPI* g_standInControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
std::map<DWORD, DWORD> g_overReported;

BOOL WINAPI OverReportingControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                 DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    BOOL ok = g_standInControl(device, code, in, inSize, out, outSize, returned, overlapped);
    auto claim = g_overReported.find(code);
    if (ok && returned && claim != g_overReported.end()) {
        *returned = claim->second;
    }
    return ok;
}

// The answers on a driver just made; its destructor puts Win32's control back.
void Install(sim::driver::ScopedCodecDriver& driver, const Answers& answers) {
    driver.AddInterface(kSupportedPath);
    g_overReported.clear();
    for (const ControlAnswer* answer :
         {&answers.policy, &answers.jack, &answers.retasking, &answers.chip, &answers.support}) {
        driver.SetAnswer(answer->code, answer->bytes, answer->reported);
        if (answer->fails) {
            driver.FailControl(answer->code);
        }
        if (answer->overReported) {
            g_overReported[answer->code] = answer->overReported;
        }
    }
    platform::Api& api = sim::StandInApi();
    g_standInControl = api.DeviceIoControl;
    api.DeviceIoControl = OverReportingControl;
}

// A port whose mode is not the control's "not a headphone" value (1 for the generic control, 3
// for the chip's), with a plug in its jack (jack bit 4 for the first port, bit 5 for the second).
bool RaisesFlag(const ControlAnswer& answer, DWORD notHeadphone, WORD jack) {
    return (answer.DwordAt(0) != notHeadphone && (jack & 0x0010)) ||
           (answer.DwordAt(4) != notHeadphone && (jack & 0x0020));
}

struct Decision {
    HRESULT hr;
    BOOL flag;
};

// The whole decision with the nth open failing (0: none). The opens come in the order policy,
// jack, generic retasking, chip retasking.
Decision ReferenceDecision(const Answers& answers, int failedOpen) {
    if (answers.policy.fails || failedOpen == 1) {
        return {E_FAIL, FALSE};
    }
    // The policy state at offset 16: 0 speakers only, 1 the front-panel jacks decide.
    DWORD policy = answers.policy.DwordAt(16);
    if (policy == 0) {
        return {S_OK, FALSE};
    }
    if (policy != 1) {
        return {E_FAIL, FALSE};
    }
    WORD jack = answers.jack.fails || failedOpen == 2 ? 0 : answers.jack.Word();
    bool genericFails = answers.retasking.fails || failedOpen == 3;
    bool chipFails = answers.chip.fails || failedOpen == 4;
    if (genericFails && chipFails) {
        return {S_OK, (jack & 0x0010) ? TRUE : FALSE};
    }
    bool raised = (!genericFails && RaisesFlag(answers.retasking, 1, jack)) ||
                  (!chipFails && RaisesFlag(answers.chip, 3, jack));
    return {S_OK, raised ? TRUE : FALSE};
}

// The output length each control was offered, if it was sent.
void CheckOutputSizes(const sim::driver::ScopedCodecDriver& driver, const Answers& answers,
                      std::vector<std::string>& mismatches) {
    for (const ControlAnswer* answer :
         {&answers.policy, &answers.jack, &answers.retasking, &answers.chip, &answers.support}) {
        DWORD offered = driver.LastOutputSize(answer->code);
        if (offered != 0 && offered != answer->size) {
            mismatches.push_back("control " + Hex(answer->code) + " offered " +
                                 std::to_string(offered) + " bytes");
        }
    }
}

std::string Describe(const ControlAnswer& answer) {
    return std::to_string(answer.bytes.size()) + " bytes, " +
           std::to_string(answer.overReported ? answer.overReported : answer.reported) +
           " reported" + (answer.fails ? ", failing" : "");
}

struct Tallies {
    Tally policy{"bad policy answers"};
    Tally jack{"bad jack answers"};
    Tally retasking{"bad retasking answers"};
    Tally support{"bad effect-support answers"};
};

// The policy decision from start to end on one driver.
void RunDecision(Random& random, const Answers& answers, Tallies& tallies, std::string& left) {
    sim::driver::ScopedCodecDriver driver;
    Install(driver, answers);
    int failedOpen = random.OneIn(8) ? static_cast<int>(random.Between(1, 4)) : 0;
    if (failedOpen) {
        driver.Fail(sim::driver::Step::Open, ERROR_ACCESS_DENIED, failedOpen);
    }
    Decision expected = ReferenceDecision(answers, failedOpen);
    BOOL flag = 2;  // neither TRUE nor FALSE: the call must set it
    HRESULT hr = GetHDAudPolicyState(&flag);

    std::vector<std::string> mismatches;
    if (hr != expected.hr || flag != expected.flag) {
        mismatches.push_back(
            "decision gave " + Hex(static_cast<DWORD>(hr)) + "/" + std::to_string(flag) +
            ", expected " + Hex(static_cast<DWORD>(expected.hr)) + "/" +
            std::to_string(expected.flag) + " (policy " + Describe(answers.policy) + "; open " +
            std::to_string(failedOpen) + " fails)");
    }
    CheckOutputSizes(driver, answers, mismatches);
    std::string leftovers = driver.Leftovers();
    if (!leftovers.empty()) {
        mismatches.push_back("driver: " + leftovers);
        left = leftovers;
    }
    tallies.policy.Judge(mismatches);
}

// The jack, retasking and effect-support queries one by one on a device found beforehand.
void RunQueries(Random& random, const Answers& answers, Tallies& tallies, std::string& left) {
    sim::driver::ScopedCodecDriver driver;
    Install(driver, answers);
    HDAudDeviceInfo device = {};
    FindHDAudDevice(&device, platform::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!device.interfaceDetail) {
        for (Tally* tally : {&tallies.jack, &tallies.retasking, &tallies.support}) {
            tally->Fail("the supported device was not found");
        }
        return;
    }

    WORD jack = GetHDAudioJackStatus(&device);
    WORD expectedJack = answers.jack.fails ? 0 : answers.jack.Word();
    std::vector<std::string> jackMismatches;
    if (jack != expectedJack) {
        jackMismatches.push_back("jack " + Hex(jack) + ", expected " + Hex(expectedJack) + " (" +
                                 Describe(answers.jack) + ")");
    }

    // Each retasking step starts from a flag that is up or down, and may only raise it.
    std::vector<std::string> retaskingMismatches;
    WORD plugs = static_cast<WORD>(random.Between(0, 0xFFFF));
    struct Step {
        const ControlAnswer& answer;
        HRESULT (*query)(const HDAudDeviceInfo*, WORD, BOOL*);
        DWORD notHeadphone;
    };
    for (const Step& step : {Step{answers.retasking, GetHDFrontPanelRetasking, 1},
                             Step{answers.chip, GetRM4512S_FrontPanelRetasking, 3}}) {
        BOOL start = random.OneIn(2) ? TRUE : FALSE;
        BOOL flag = start;
        HRESULT hr = step.query(&device, plugs, &flag);
        HRESULT expectedHr = step.answer.fails ? E_FAIL : S_OK;
        BOOL expectedFlag =
            start || (!step.answer.fails && RaisesFlag(step.answer, step.notHeadphone, plugs));
        if (hr != expectedHr || flag != expectedFlag) {
            retaskingMismatches.push_back("retasking " + Hex(step.answer.code) + " gave " +
                                          Hex(static_cast<DWORD>(hr)) + "/" + std::to_string(flag) +
                                          ", expected " + Hex(static_cast<DWORD>(expectedHr)) +
                                          "/" + std::to_string(expectedFlag) + " (" +
                                          Describe(step.answer) + ", plugs " + Hex(plugs) + ")");
        }
    }

    DWORD mask = GetHDAudEffectSupport(&device);
    DWORD expectedMask = answers.support.fails ? 0 : answers.support.DwordAt(0);
    std::vector<std::string> supportMismatches;
    if (mask != expectedMask) {
        supportMismatches.push_back("mask " + Hex(mask) + ", expected " + Hex(expectedMask) + " (" +
                                    Describe(answers.support) + ")");
    }
    ReleaseHDAudDevice(&device);

    CheckOutputSizes(driver, answers, supportMismatches);
    std::string leftovers = driver.Leftovers();
    if (!leftovers.empty()) {
        supportMismatches.push_back("driver: " + leftovers);
        left = leftovers;
    }
    tallies.jack.Judge(jackMismatches);
    tallies.retasking.Judge(retaskingMismatches);
    tallies.support.Judge(supportMismatches);
}

}  // namespace

bool SweepDriverAnswers(const SweepOptions& options) {
    Random random(options.seed ^ 0x616E73);
    Tallies tallies;
    ProcessHoldings holdings;
    std::string left;
    for (size_t i = 0; i < options.count; ++i) {
        SetCurrentInput("bad driver answers", i);
        Answers answers = MakeAnswers(random);
        RunDecision(random, answers, tallies, left);
        RunQueries(random, answers, tallies, left);
    }
    bool clean = true;
    for (Tally* tally : {&tallies.policy, &tallies.jack, &tallies.retasking, &tallies.support}) {
        holdings.LeftBehindSince(*tally);
        tally->LeftBehind("driver stand-in leftovers", left.empty() ? 0 : 1, left);
        clean = tally->Report(options.count) && clean;
    }
    return clean;
}

}  // namespace badinput
