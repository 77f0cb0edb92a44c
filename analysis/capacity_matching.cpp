#include "analysis/capacity_matching.h"

#include "analysis/errors.h"
#include "analysis/pack_search.h"

#include <algorithm>

EMissingCapacity::EMissingCapacity(std::size_t missing, std::size_t cells)
    : core::Error(QStringLiteral("%1 of the %2 cells have no capacity").arg(missing).arg(cells)),
      missing(missing),
      cells(cells)
{ }

namespace analysis {

namespace {

// The cells that may be chosen, by voltage.
std::vector<std::size_t> usableCells(const std::vector<CapacityCell> &cells)
{
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].microohms > 0 && cells[i].microampHours)
            usable.push_back(i);
    std::sort(usable.begin(), usable.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].microvolts != cells[b].microvolts
            ? cells[a].microvolts < cells[b].microvolts
            : a < b;
    });
    return usable;
}

// Capacity sums within the tolerance first, the groups' parallel resistances (through their
// conductances) second.
PackProblem capacityProblem(const std::vector<CapacityCell> &cells,
                            const std::vector<std::size_t> &usable, const PackShape &shape,
                            double tolerance)
{
    PackProblem p;
    p.candidates = usable;
    p.maxVoltageSpreadMicrovolts = shape.maxVoltageSpreadMicrovolts;
    p.series = shape.series;
    p.parallel = shape.parallel;
    PackTerm capacity{std::vector<double>(cells.size(), 0.0), false, 0, tolerance};
    PackTerm conductance{std::vector<double>(cells.size(), 0.0), true, 0};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        p.microvolts.push_back(cells[i].microvolts);
        capacity.values[i] = double(cells[i].microampHours.value_or(0));
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
        const std::int64_t ca = cells[a].microampHours.value_or(0),
                           cb = cells[b].microampHours.value_or(0);
        return ca != cb ? ca > cb : a < b;
    });
    auto groups = std::vector<std::vector<std::size_t>>(std::size_t(series));
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const std::size_t round = k / std::size_t(series), place = k % std::size_t(series);
        groups[round % 2 == 0 ? place : std::size_t(series) - 1 - place].push_back(chosen[k]);
    }
    return groups;
}

CapacityMatch matchByCapacity(const std::vector<CapacityCell> &cells, const PackShape &shape,
                              const CapacityOptions &options)
{
    const auto missing = std::size_t(std::count_if(
        cells.begin(), cells.end(), [](const CapacityCell &c) { return !c.microampHours; }));
    if (missing > 0 && options.missing == MissingCapacity::Refuse)
        throw EMissingCapacity(missing, cells.size());
    const PackProblem problem =
        capacityProblem(cells, usableCells(cells), shape, std::max(0.0, options.tolerance));
    CapacityMatch m;
    m.withoutCapacity = missing;
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
    m.toleranceMicroampHours = std::max(0.0, options.tolerance) * m.meanGroupMicroampHours;
    return m;
}

} // namespace analysis
