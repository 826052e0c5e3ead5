#include "bench/sweep/Script.h"

#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

const wchar_t kSpeakers[] = L"{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}";

const std::vector<ScriptStep>& Script() {
    static const std::vector<ScriptStep> steps = {
        {"click Sound Space Expander", StepKind::Click, Box::Expander},
        {"click Natural Bass", StepKind::Click, Box::NaturalBass},
        {"slide Bass Boost to 3", StepKind::Slide, Box::Expander, 3},
        {"another program writes Natural Bass", StepKind::Outside, Box::Expander, 0,
         keys::NaturalBass, 0x80000513},
        {"click Sound Space Expander", StepKind::Click, Box::Expander},
        {"slide Bass Boost to 6", StepKind::Slide, Box::Expander, 6},
        {"another program writes Sound Space Expander", StepKind::Outside, Box::Expander, 0,
         keys::SoundSpaceExpander, 0x00000001},
        {"click Natural Bass", StepKind::Click, Box::NaturalBass},
        {"headphones plugged into the front jack", StepKind::Jack},
        {"click Halvo Headphone", StepKind::Click, Box::Headphone},
        {"slide Bass Boost to 1", StepKind::Slide, Box::Expander, 1},
        {"another program writes Halvo Headphone", StepKind::Outside, Box::Expander, 0,
         keys::Headphone, 0x80000211},
        {"click Natural Bass", StepKind::Click, Box::NaturalBass},
        {"click Halvo Headphone", StepKind::Click, Box::Headphone},
        {"OK", StepKind::Close},
    };
    return steps;
}

std::string PartName(size_t part) {
    if (part == 0) {
        return "start-up and the page's start";
    }
    const std::vector<ScriptStep>& script = Script();
    return "step " + std::to_string(part) + " '" +
           (part <= script.size() ? script[part - 1].name : "?") + "'";
}

}  // namespace sweep
