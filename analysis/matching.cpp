#include "analysis/matching.h"

#include "analysis/pack_search.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

double conductance(const Cell &c)
{
    return 1e6 / double(c.microohms);
}

double totalConductance(const std::vector<Cell> &cells, const std::vector<std::size_t> &group)
{
    double sum = 0;
    for (std::size_t c : group)
        sum += conductance(cells[c]);
    return sum;
}

} // namespace

double parallelOhms(const std::vector<Cell> &cells, const std::vector<std::size_t> &group)
{
    const double g = totalConductance(cells, group);
    return g > 0 ? 1.0 / g : 0.0;
}

Spread spreadOf(const std::vector<CellGroup> &groups)
{
    Spread s;
    if (groups.empty())
        return s;
    double lo = groups.front().ohms, hi = lo, sum = 0;
    for (const CellGroup &g : groups) {
        lo = std::min(lo, g.ohms);
        hi = std::max(hi, g.ohms);
        sum += g.ohms;
    }
    s.ohms = hi - lo;
    s.meanOhms = sum / double(groups.size());
    return s;
}

std::vector<CellGroup> makeGroups(const std::vector<Cell> &cells,
                                  std::vector<std::vector<std::size_t>> members)
{
    std::vector<CellGroup> groups;
    groups.reserve(members.size());
    for (auto &m : members) {
        CellGroup g;
        g.ohms = parallelOhms(cells, m);
        g.cells = std::move(m);
        groups.push_back(std::move(g));
    }
    return groups;
}

PackMatch matchCells(const std::vector<Cell> &cells, const PackShape &shape,
                     const MatchOptions &options)
{
    PackProblem problem;
    problem.series = shape.series;
    problem.parallel = shape.parallel;
    problem.maxVoltageSpreadMicrovolts = shape.maxVoltageSpreadMicrovolts;
    PackTerm resistance{std::vector<double>(cells.size(), 0.0), true, options.resolutionOhms};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        problem.microvolts.push_back(cells[i].microvolts);
        const std::int64_t r = cells[i].microohms;
        if (r > 0 && (options.maxResistanceMicroohms == 0 || r <= options.maxResistanceMicroohms)) {
            problem.candidates.push_back(i);
            resistance.values[i] = conductance(cells[i]);
        }
    }
    problem.objective.terms.push_back(std::move(resistance));
    if (options.preferLow)
        for (const Cell &c : cells)
            problem.objective.preference.push_back(double(c.microohms));

    std::vector<std::vector<std::size_t>> members = searchPack(problem);
    if (members.empty())
        refuseTooFewInWindow(problem);
    std::vector<bool> used(cells.size(), false);
    for (auto &m : members) {
        std::sort(m.begin(), m.end());
        for (std::size_t c : m)
            used[c] = true;
    }
    PackMatch result;
    result.groups = makeGroups(cells, std::move(members));
    result.spread = spreadOf(result.groups);
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (!used[i])
            result.leftOut.push_back(i);
    return result;
}

} // namespace analysis
