#include "analysis/capacity_matching.h"

#include "analysis/pack_search.h"

#include <algorithm>

namespace analysis {

namespace {

// The cells that may be chosen, by voltage.
std::vector<std::size_t> usableCells(const std::vector<CapacityCell> &cells)
{
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].microohms > 0)
            usable.push_back(i);
    std::sort(usable.begin(), usable.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microvolts != cells[b].microvolts
            ? cells[a].microvolts < cells[b].microvolts
            : a < b;
    });
    return usable;
}

// Capacity sums first, the groups' parallel resistances (through their conductances) second.
PackProblem capacityProblem(const std::vector<CapacityCell> &cells,
                            const std::vector<std::size_t> &usable, const PackShape &shape)
{
    PackProblem p;
    p.candidates = usable;
    p.maxVoltageSpreadMicrovolts = shape.maxVoltageSpreadMicrovolts;
    p.series = shape.series;
    p.parallel = shape.parallel;
    PackTerm capacity{std::vector<double>(cells.size(), 0.0), false, 0};
    PackTerm conductance{std::vector<double>(cells.size(), 0.0), true, 0};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        p.microvolts.push_back(cells[i].microvolts);
        capacity.values[i] = double(cells[i].microampHours);
        if (cells[i].microohms > 0)
            conductance.values[i] = 1e6 / double(cells[i].microohms);
    }
    p.objective.terms = {std::move(capacity), std::move(conductance)};
    return p;
}

} // namespace

CapacityScore scoreOf(const std::vector<CapacityCell> &cells,
                      const std::vector<std::vector<std::size_t>> &groups)
{
    std::vector<GroupTotals> totals;
    for (const auto &g : groups)
        totals.push_back(CapacityFirstObjective::totals(cells, g));
    return CapacityFirstObjective::score(totals);
}

std::vector<std::vector<std::size_t>> serpentineDeal(const std::vector<CapacityCell> &cells,
                                                     std::vector<std::size_t> chosen, int series)
{
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microampHours != cells[b].microampHours
            ? cells[a].microampHours > cells[b].microampHours
            : a < b;
    });
    auto groups = std::vector<std::vector<std::size_t>>(std::size_t(series));
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const std::size_t round = k / std::size_t(series), place = k % std::size_t(series);
        groups[round % 2 == 0 ? place : std::size_t(series) - 1 - place].push_back(chosen[k]);
    }
    return groups;
}

CapacityMatch matchByCapacity(const std::vector<CapacityCell> &cells, const PackShape &shape)
{
    const PackProblem problem = capacityProblem(cells, usableCells(cells), shape);
    CapacityMatch m;
    m.groups = searchPack(problem);
    if (m.groups.empty())
        refuseTooFewInWindow(problem);
    std::vector<bool> used(cells.size(), false);
    for (const auto &g : m.groups)
        for (std::size_t c : g)
            used[c] = true;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (!used[i])
            m.leftOut.push_back(i);
    m.score = scoreOf(cells, m.groups);
    for (const auto &g : m.groups) {
        const GroupTotals t = CapacityFirstObjective::totals(cells, g);
        m.meanGroupMicroampHours += double(t.microampHours) / double(m.groups.size());
        m.meanGroupOhms += 1 / t.siemens / double(m.groups.size());
    }
    return m;
}

} // namespace analysis
