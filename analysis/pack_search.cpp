#include "analysis/pack_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace analysis {

namespace {

using Groups = std::vector<std::vector<std::size_t>>;
using Cost = std::vector<double>;

// Group figures are compared through the cost; this many group figures computed in all
// bounds the swap search, which keeps 10 000 cells well within a second.
constexpr double kWorkBudget = 6e7;
// The voltage windows searched when many hold enough cells.
constexpr std::size_t kWindowsSearched = 4;

// Sums rounded differently along two paths must not count as an improvement, or a swap and
// its reverse could both look better.
bool better(const Cost &a, const Cost &b)
{
    for (std::size_t k = 0; k < a.size(); ++k) {
        const double margin = 1e-12 * std::max(std::abs(a[k]), std::abs(b[k]));
        if (a[k] < b[k] - margin)
            return true;
        if (a[k] > b[k] + margin)
            return false;
    }
    return false;
}

// An arrangement with each term's group sums kept up to date, so that a swap is tried by
// changing two sums.
class Arrangement {
public:
    Arrangement(const PackObjective &objective, std::size_t series) : objective_(objective)
    {
        groups.resize(series);
        sums_.assign(objective.terms.size(), std::vector<double>(series, 0.0));
    }

    void add(std::size_t g, std::size_t cell, double sign = 1)
    {
        for (std::size_t t = 0; t < sums_.size(); ++t)
            sums_[t][g] += sign * objective_.terms[t].values[cell];
        if (!objective_.preference.empty())
            preference_ += sign * objective_.preference[cell];
    }

    // Replaces cell `from` by `to` in the sums of group g (not in its member list).
    void exchange(std::size_t g, std::size_t from, std::size_t to)
    {
        add(g, from, -1);
        add(g, to);
    }

    double sum(std::size_t g) const { return sums_[0][g]; }
    double meanSum() const { return std::accumulate(sums_[0].begin(), sums_[0].end(), 0.0) / double(groups.size()); }

    Cost cost() const
    {
        work += double(groups.size() * sums_.size());
        Cost c;
        double firstSpread = 0, squares = 0;
        for (std::size_t t = 0; t < sums_.size(); ++t) {
            const PackTerm &term = objective_.terms[t];
            double lo = HUGE_VAL, hi = -HUGE_VAL, total = 0;
            for (double s : sums_[t]) {
                const double figure = term.reciprocal ? 1 / s : s;
                lo = std::min(lo, figure);
                hi = std::max(hi, figure);
                total += figure;
                if (t == 0)
                    squares += figure * figure;
            }
            const double spread = hi - lo;
            c.push_back(term.resolution > 0 ? std::round(spread / term.resolution) : spread);
            if (t == 0) {
                firstSpread = spread;
                squares -= total * total / double(sums_[t].size());
            }
        }
        if (!objective_.preference.empty())
            c.push_back(preference_);
        // Among equally good spreads, the finer spread and then groups closer to their mean
        // lead the swaps on.
        c.push_back(firstSpread);
        c.push_back(squares);
        return c;
    }

    Groups groups;
    mutable double work = 0;

private:
    const PackObjective &objective_;
    std::vector<std::vector<double>> sums_;
    double preference_ = 0;
};

// Cells ordered by the first term's value.
struct ByValue {
    const std::vector<double> &v;
    bool operator()(std::size_t a, std::size_t b) const { return v[a] != v[b] ? v[a] < v[b] : a < b; }
};

// Indices in `sorted` (ordered by v) of the two values nearest to target.
std::pair<std::size_t, std::size_t> nearest(const std::vector<std::size_t> &sorted, const std::vector<double> &v,
                                            double target)
{
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), target,
                                     [&](std::size_t cell, double x) { return v[cell] < x; });
    const std::size_t at = std::size_t(it - sorted.begin());
    return {at == 0 ? 0 : at - 1, std::min(at, sorted.size() - 1)};
}

class LocalSearch {
public:
    LocalSearch(const PackProblem &p, Arrangement &a, std::vector<std::size_t> outside, double budget)
        : v_(p.objective.terms[0].values), a_(a), outside_(std::move(outside)), budget_(budget)
    {
        std::sort(outside_.begin(), outside_.end(), ByValue{v_});
        cost_ = a_.cost();
    }

    void run()
    {
        bool improved = true;
        while (improved && a_.work < budget_) {
            improved = false;
            for (std::size_t g = 0; g < a_.groups.size(); ++g) {
                for (std::size_t h = g + 1; h < a_.groups.size(); ++h)
                    improved |= swapBetween(g, h);
                improved |= swapWithOutside(g);
            }
        }
    }

private:
    bool accept(const Cost &c)
    {
        if (!better(c, cost_))
            return false;
        cost_ = c;
        return true;
    }

    bool swapBetween(std::size_t g, std::size_t h)
    {
        std::vector<std::size_t> &G = a_.groups[g], &H = a_.groups[h];
        if (G.size() < 2)
            return false; // single cells only trade places
        std::vector<std::size_t> sortedH = H;
        std::sort(sortedH.begin(), sortedH.end(), ByValue{v_});
        bool improved = false;
        for (std::size_t i = 0; i < G.size() && a_.work < budget_; ++i) {
            const std::size_t cell = G[i];
            const auto [lo, hi] = nearest(sortedH, v_, v_[cell] - (a_.sum(g) - a_.sum(h)) / 2);
            for (std::size_t k : {lo, hi}) {
                const std::size_t other = sortedH[k];
                a_.exchange(g, cell, other);
                a_.exchange(h, other, cell);
                if (accept(a_.cost())) {
                    G[i] = other;
                    *std::find(H.begin(), H.end(), other) = cell;
                    sortedH = H;
                    std::sort(sortedH.begin(), sortedH.end(), ByValue{v_});
                    improved = true;
                    break;
                }
                a_.exchange(h, cell, other);
                a_.exchange(g, other, cell);
            }
        }
        return improved;
    }

    bool swapWithOutside(std::size_t g)
    {
        if (outside_.empty())
            return false;
        std::vector<std::size_t> &G = a_.groups[g];
        bool improved = false;
        for (std::size_t i = 0; i < G.size() && a_.work < budget_; ++i) {
            const std::size_t cell = G[i];
            const auto [lo, hi] = nearest(outside_, v_, a_.meanSum() - a_.sum(g) + v_[cell]);
            for (std::size_t k : {lo, hi}) {
                const std::size_t other = outside_[k];
                a_.exchange(g, cell, other);
                if (accept(a_.cost())) {
                    G[i] = other;
                    outside_.erase(outside_.begin() + std::ptrdiff_t(k));
                    outside_.insert(std::upper_bound(outside_.begin(), outside_.end(), cell, ByValue{v_}), cell);
                    improved = true;
                    break;
                }
                a_.exchange(g, other, cell);
            }
        }
        return improved;
    }

    const std::vector<double> &v_;
    Arrangement &a_;
    std::vector<std::size_t> outside_;
    double budget_;
    Cost cost_;
};

// Every grouping of `chosen` (each group's first member the lowest cell left), keeping the best.
class Exhaustive {
public:
    Exhaustive(const PackProblem &p) : p_(p), a_(p.objective, std::size_t(p.series)) {}

    void tryChoice(const std::vector<std::size_t> &chosen)
    {
        chosen_ = &chosen;
        place(0);
    }

    bool found() const { return !best_.empty(); }
    Groups best;

private:
    void place(std::size_t k)
    {
        if (k == chosen_->size()) {
            const Cost c = a_.cost();
            if (best_.empty() || better(c, best_)) {
                best_ = c;
                best = a_.groups;
            }
            return;
        }
        const std::size_t cell = (*chosen_)[k];
        for (std::size_t g = 0; g < a_.groups.size(); ++g) {
            auto &group = a_.groups[g];
            if (group.size() == std::size_t(p_.parallel))
                continue;
            group.push_back(cell);
            a_.add(g, cell);
            place(k + 1);
            a_.add(g, cell, -1);
            group.pop_back();
            if (group.empty())
                break; // the other empty groups give the same groupings
        }
    }

    const PackProblem &p_;
    Arrangement a_;
    const std::vector<std::size_t> *chosen_ = nullptr;
    Cost best_;
};

Groups exhaustive(const PackProblem &p)
{
    const std::size_t n = std::size_t(p.series) * std::size_t(p.parallel);
    const std::vector<std::size_t> &c = p.candidates;
    Exhaustive search(p);
    std::vector<std::size_t> chosen;
    for (std::uint32_t mask = 0; mask < (1u << c.size()); ++mask) {
        if (std::size_t(std::popcount(mask)) != n)
            continue;
        chosen.clear();
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        for (std::size_t i = 0; i < c.size(); ++i) {
            if (mask & (1u << i)) {
                chosen.push_back(c[i]);
                lo = std::min(lo, p.microvolts[c[i]]);
                hi = std::max(hi, p.microvolts[c[i]]);
            }
        }
        if (hi - lo <= p.maxVoltageSpreadMicrovolts)
            search.tryChoice(chosen);
    }
    return search.best;
}

// The cells to start from: the lowest by preference, or else the run of cells adjacent
// in the first term's order whose values lie closest together (ties: the run nearest the
// middle).
std::vector<std::size_t> startingCells(const PackProblem &p, std::vector<std::size_t> window, std::size_t n)
{
    const std::vector<double> &v = p.objective.terms[0].values;
    if (!p.objective.preference.empty()) {
        const std::vector<double> &pref = p.objective.preference;
        std::stable_sort(window.begin(), window.end(), [&](std::size_t a, std::size_t b) { return pref[a] < pref[b]; });
        return {window.begin(), window.begin() + std::ptrdiff_t(n)};
    }
    std::sort(window.begin(), window.end(), ByValue{v});
    const double middle = double(window.size() - n) / 2;
    std::size_t best = 0;
    for (std::size_t k = 1; k + n <= window.size(); ++k) {
        const double range = v[window[k + n - 1]] - v[window[k]];
        const double bestRange = v[window[best + n - 1]] - v[window[best]];
        if (range < bestRange || (range == bestRange && std::abs(double(k) - middle) < std::abs(double(best) - middle)))
            best = k;
    }
    return {window.begin() + std::ptrdiff_t(best), window.begin() + std::ptrdiff_t(best + n)};
}

// Largest value first, each into the group of lowest sum that has room.
void deal(const PackProblem &p, std::vector<std::size_t> cells, Arrangement &a)
{
    const std::vector<double> &v = p.objective.terms[0].values;
    std::sort(cells.rbegin(), cells.rend(), ByValue{v});
    for (std::size_t cell : cells) {
        std::size_t into = a.groups.size();
        for (std::size_t g = 0; g < a.groups.size(); ++g)
            if (a.groups[g].size() < std::size_t(p.parallel) && (into == a.groups.size() || a.sum(g) < a.sum(into)))
                into = g;
        a.groups[into].push_back(cell);
        a.add(into, cell);
    }
}

// The candidate cells of the fullest voltage windows that hold at least n.
std::vector<std::vector<std::size_t>> windows(const PackProblem &p, std::size_t n)
{
    std::vector<std::size_t> byVoltage = p.candidates;
    std::sort(byVoltage.begin(), byVoltage.end(), [&](std::size_t a, std::size_t b) {
        return p.microvolts[a] != p.microvolts[b] ? p.microvolts[a] < p.microvolts[b] : a < b;
    });
    struct Span {
        std::size_t begin, end;
    };
    std::vector<Span> spans;
    std::size_t end = 0;
    for (std::size_t begin = 0; begin < byVoltage.size(); ++begin) {
        const std::int64_t low = p.microvolts[byVoltage[begin]];
        if (begin > 0 && p.microvolts[byVoltage[begin - 1]] == low)
            continue;
        const std::size_t before = end;
        while (end < byVoltage.size() && p.microvolts[byVoltage[end]] - low <= p.maxVoltageSpreadMicrovolts)
            ++end;
        // A window that reaches no further than the one before holds a part of it.
        if (end - begin >= n && (spans.empty() || end > before))
            spans.push_back({begin, end});
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const Span &a, const Span &b) { return a.end - a.begin > b.end - b.begin; });
    spans.resize(std::min(spans.size(), kWindowsSearched));
    std::vector<std::vector<std::size_t>> cells;
    for (const Span &s : spans)
        cells.emplace_back(byVoltage.begin() + std::ptrdiff_t(s.begin), byVoltage.begin() + std::ptrdiff_t(s.end));
    return cells;
}

} // namespace

std::vector<double> packCost(const PackObjective &objective, const Groups &groups)
{
    Arrangement a(objective, groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (std::size_t cell : groups[g])
            a.add(g, cell);
    return a.cost();
}

Groups searchPack(const PackProblem &p)
{
    const std::size_t n = std::size_t(p.series) * std::size_t(p.parallel);
    if (p.candidates.size() < n)
        return {};
    if (p.candidates.size() <= kExhaustiveCandidates)
        return exhaustive(p);

    const auto spans = windows(p, n);
    Groups best;
    Cost bestCost;
    for (const std::vector<std::size_t> &window : spans) {
        Arrangement a(p.objective, std::size_t(p.series));
        const std::vector<std::size_t> start = startingCells(p, window, n);
        deal(p, start, a);
        std::vector<bool> chosen(p.microvolts.size(), false);
        for (std::size_t c : start)
            chosen[c] = true;
        std::vector<std::size_t> outside;
        for (std::size_t c : window)
            if (!chosen[c])
                outside.push_back(c);
        LocalSearch(p, a, std::move(outside), kWorkBudget / double(spans.size())).run();
        const Cost c = a.cost();
        if (best.empty() || better(c, bestCost)) {
            bestCost = c;
            best = std::move(a.groups);
        }
    }
    return best;
}

} // namespace analysis
