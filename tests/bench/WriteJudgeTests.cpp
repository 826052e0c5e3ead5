// The sweep's judgement of a run by its own write log: part by part, every write must be the one
// the rules make next, even where a later write puts the right word back.
#include <gtest/gtest.h>

#include "bench/sweep/Script.h"
#include "bench/sweep/WriteJudge.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;
using sim::audio::WriteRecord;
using sweep::IntendedWrite;
using sweep::RunPlan;

IntendedWrite Word(const PROPERTYKEY& key, DWORD word, bool accepted = true) {
    return {Store::Fx, key,      Value::UInt32(word), WriteOrigin::Config7,
            12,        accepted, sweep::kSpeakers};
}

WriteRecord Record(const IntendedWrite& write, const std::wstring& id = sweep::kSpeakers) {
    return {write.origin,
            write.slot,
            write.store,
            id,
            write.key,
            write.value,
            write.accepted ? S_OK : E_FAIL};
}

// Start-up writes the Natural Bass word, step 1 the expander, step 2 Natural Bass again.
RunPlan ThreeParts() {
    RunPlan plan;
    plan.sheetShown = true;
    plan.parts = {{Word(keys::NaturalBass, 0x80003513)},
                  {Word(keys::SoundSpaceExpander, 0x00000001)},
                  {Word(keys::NaturalBass, 0x00003513)}};
    return plan;
}
const RunPlan kPlan = ThreeParts();

struct Judged {
    std::vector<WriteRecord> log;
    std::vector<size_t> starts;
};

Judged AsPlanned() {
    Judged judged;
    for (const auto& part : kPlan.parts) {
        judged.starts.push_back(judged.log.size());
        for (const IntendedWrite& write : part) {
            judged.log.push_back(Record(write));
        }
    }
    return judged;
}

TEST(JudgeWrites, ALogAsTheRulesWriteItPasses) {
    Judged judged = AsPlanned();
    sweep::WriteVerdict verdict = sweep::JudgeWrites(judged.log, judged.starts, kPlan, kPlan);
    EXPECT_TRUE(verdict.problems.empty());
    EXPECT_TRUE(verdict.silentSteps.empty());
}

TEST(JudgeWrites, EachWriteOutOfTheRulesFailsWithItsPart) {
    const struct {
        const char* what;
        void (*change)(Judged*);
        const char* problem;
    } cases[] = {
        {"a torn word a later step overwrites",
         [](Judged* j) { j->log[0].value = Value::UInt32(0x80000500); },
         "start-up and the page's start: write 1 wrote fx PKEY_Xan_NaturalBass = VT_UI4 "
         "0x80000500 by the Windows 7 configuration object slot 12, where the rules write fx "
         "PKEY_Xan_NaturalBass = VT_UI4 0x80003513 by the Windows 7 configuration object slot "
         "12"},
        {"a write left out",
         [](Judged* j) {
             j->log.erase(j->log.begin() + 1);
             j->starts[2] = 1;
         },
         "step 1 'click Sound Space Expander': write 1 wrote nothing more, where the rules write "
         "fx PKEY_Xan_SoundSpaceExpander = VT_UI4 0x00000001 by the Windows 7 configuration "
         "object slot 12"},
        {"a write too many", [](Judged* j) { j->log.push_back(Record(Word(keys::LevelWord, 0))); },
         "step 2 'click Natural Bass': write 2 wrote fx PKEY_Xan_LevelWord = VT_UI4 0x00000000 by "
         "the Windows 7 configuration object slot 12, where the rules write nothing more"},
        {"the right word for another endpoint",
         [](Judged* j) { j->log[1].endpointId = L"{0.0.0.00000000}.{other}"; }, nullptr},
        {"the right word by the FX store handle",
         [](Judged* j) { j->log[1].origin = WriteOrigin::FxStoreHandle; }, nullptr},
        {"the right word by another method of the object", [](Judged* j) { j->log[1].slot = 11; },
         nullptr},
        {"a refusal where the rules write", [](Judged* j) { j->log[2].result = E_FAIL; }, nullptr},
    };
    for (const auto& c : cases) {
        Judged judged = AsPlanned();
        c.change(&judged);
        auto problems = sweep::JudgeWrites(judged.log, judged.starts, kPlan, kPlan).problems;
        ASSERT_EQ(1u, problems.size()) << c.what;
        if (c.problem) {
            EXPECT_EQ(c.problem, problems[0]) << c.what;
        }
    }
}

// A refused write is judged as closely as an accepted one: the word it tried and the endpoint it
// named.
TEST(JudgeWrites, AStepTheFaultSilencesIsNamedAndARefusalMustTryTheIntendedWord) {
    RunPlan plan = kPlan;
    plan.parts[1] = {Word(keys::SoundSpaceExpander, 0x00000001, false)};
    Judged judged = AsPlanned();
    judged.log[1].result = E_FAIL;
    sweep::WriteVerdict verdict = sweep::JudgeWrites(judged.log, judged.starts, plan, kPlan);
    EXPECT_TRUE(verdict.problems.empty());
    EXPECT_EQ(std::vector<std::string>{"step 1 'click Sound Space Expander'"}, verdict.silentSteps);

    const struct {
        const char* what;
        void (*change)(WriteRecord*);
    } refusals[] = {
        {"no word logged", [](WriteRecord* w) { w->value = Value(); }},
        {"another word", [](WriteRecord* w) { w->value = Value::UInt32(0x80000001); }},
        {"another endpoint", [](WriteRecord* w) { w->endpointId = L"{0.0.0.00000000}.{other}"; }},
        {"an empty id", [](WriteRecord* w) { w->endpointId.clear(); }},
    };
    for (const auto& refusal : refusals) {
        Judged changed = judged;
        refusal.change(&changed.log[1]);
        EXPECT_EQ(1u, sweep::JudgeWrites(changed.log, changed.starts, plan, kPlan).problems.size())
            << refusal.what;
    }
    // A refusal the rules make for an empty id.
    plan.parts[1][0].endpoint.clear();
    judged.log[1].endpointId.clear();
    EXPECT_TRUE(sweep::JudgeWrites(judged.log, judged.starts, plan, kPlan).problems.empty());
}

}  // namespace
