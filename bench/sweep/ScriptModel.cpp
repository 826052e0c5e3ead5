#include "bench/sweep/ScriptModel.h"

#include "bench/sweep/PageModel.h"

namespace sweep {

RunPlan PageModel::Run() {
    StartPage();
    const std::vector<ScriptStep>& script = Script();
    for (size_t i = 0; i < script.size(); ++i) {
        Enter(Part::Step, i);
        Do(script[i]);
        Refresh();
    }
    m_plan.endpointStore = m_stores[0];
    m_plan.fxStore = m_stores[1];
    return m_plan;
}

void PageModel::Enter(Part part, size_t step) {
    m_part = part;
    m_step = step;
    m_reads.clear();
    m_writes.clear();
    m_plan.parts.emplace_back();
}

// The link of the call answered otherwise, when it serves this read or write.
std::optional<Link> PageModel::Hit(Purpose purpose, const std::string& key, int occurrence) const {
    if (!m_fault) {
        return std::nullopt;
    }
    const CallRole& role = m_fault->role;
    if (role.part != m_part || (m_part == Part::Step && role.step != m_step) ||
        role.purpose != purpose || role.key != key || role.occurrence != occurrence) {
        return std::nullopt;
    }
    return role.link;
}

RunPlan PlanRun(const ModelMachine& machine, const std::optional<Fault>& fault) {
    return PageModel(machine, fault).Run();
}

}  // namespace sweep
