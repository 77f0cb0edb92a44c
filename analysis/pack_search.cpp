#include "analysis/pack_search.h"

#include "analysis/errors.h"
#include "reading/decimal.h"

#include <QString>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>
#include <optional>
#include <queue>
#include <random>
#include <stdexcept>

namespace analysis {

namespace {

using Groups = std::vector<std::vector<std::size_t>>;

// Group figures are compared through the cost; this many group figures computed in all
// bounds the swap search, which keeps 10 000 cells well within a second.
constexpr double kWorkBudget = 2.5e7;
// Shaking and searching again stops after this many rounds in a row find nothing better,
// so that small packs take no longer than they need.
constexpr int kFruitlessRounds = 200;
// The voltage windows searched when many hold enough cells.
constexpr std::size_t kWindowsSearched = 4;
// A cost holds a spread per term, the preference and two tie-breaks, without allocating:
// trial swaps are scored millions of times.
constexpr std::size_t kMaxTerms = 4;
// Within a term's tolerance, the partners a cell tries on either side: enough for the next
// term to choose among, few enough that large batches stay within the budget.
constexpr std::size_t kTolerantLook = 32;

class Cost {
public:
    void push(double x) { v_[n_++] = x; }
    std::size_t size() const { return n_; }
    double operator[](std::size_t k) const { return v_[k]; }
    std::vector<double> values() const { return {v_.begin(), v_.begin() + std::ptrdiff_t(n_)}; }

private:
    std::array<double, kMaxTerms + 3> v_{};
    std::size_t n_ = 0;
};

// Sums rounded differently along two paths must not count as an improvement, or a swap and
// its reverse could both look better, and endless gains in the last digits would keep the
// search going.
bool better(const Cost &a, const Cost &b)
{
    for (std::size_t k = 0; k < a.size(); ++k) {
        const double margin = 1e-9 * std::max(std::abs(a[k]), std::abs(b[k]));
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
    Arrangement(const PackObjective &objective, std::size_t series, double *work = nullptr)
        : work_(work), objective_(&objective)
    {
        groups.resize(series);
        sums_.assign(objective.terms.size(), std::vector<double>(series, 0.0));
    }

    void add(std::size_t g, std::size_t cell, double sign = 1)
    {
        for (std::size_t t = 0; t < sums_.size(); ++t)
            sums_[t][g] += sign * objective_->terms[t].values[cell];
        if (!objective_->preference.empty())
            preference_ += sign * objective_->preference[cell];
    }

    // Replaces cell `from` by `to` in the sums of group g (not in its member list).
    void exchange(std::size_t g, std::size_t from, std::size_t to)
    {
        add(g, from, -1);
        add(g, to);
    }

    // The sums from the members alone, free of what adding and taking away left in the
    // last digits.
    void recompute()
    {
        for (auto &s : sums_)
            std::fill(s.begin(), s.end(), 0.0);
        preference_ = 0;
        for (std::size_t g = 0; g < groups.size(); ++g)
            for (std::size_t cell : groups[g])
                add(g, cell);
    }

    double sum(std::size_t g) const { return sums_[0][g]; }
    double meanSum() const
    {
        return std::accumulate(sums_[0].begin(), sums_[0].end(), 0.0) / double(groups.size());
    }

    // How far from its target a partner may lie and still keep the first term within its
    // tolerance (a share of the figure is, near enough, the same share of the sum, reciprocal
    // or not); below zero when the term has none.
    double slack() const
    {
        const PackTerm &term = objective_->terms[0];
        return term.tolerance > 0 ? term.tolerance * std::abs(meanSum()) : -1;
    }

    Cost cost() const
    {
        if (work_)
            *work_ += double(groups.size() * sums_.size());
        Cost c;
        double firstSpread = 0, squares = 0;
        for (std::size_t t = 0; t < sums_.size(); ++t) {
            const PackTerm &term = objective_->terms[t];
            double lo = HUGE_VAL, hi = -HUGE_VAL, total = 0;
            for (double s : sums_[t]) {
                const double f = figureOf(term, s);
                lo = std::min(lo, f);
                hi = std::max(hi, f);
                total += f;
            }
            const double mean = total / double(sums_[t].size());
            const double spread = hi - lo;
            // Within the tolerance every spread is as good as none, and the next term decides.
            const double excess =
                term.tolerance > 0 ? std::max(0.0, spread - term.tolerance * mean) : spread;
            c.push(term.resolution > 0 ? std::round(excess / term.resolution) : excess);
            if (t == 0) {
                firstSpread = spread;
                for (double s : sums_[t])
                    squares += (figureOf(term, s) - mean) * (figureOf(term, s) - mean);
            }
        }
        if (!objective_->preference.empty())
            c.push(preference_);
        // Among equally good spreads, the finer spread and then groups closer to their mean
        // lead the swaps on.
        c.push(firstSpread);
        c.push(squares);
        return c;
    }

    // The figure of group g by term t.
    double figure(std::size_t t, std::size_t g) const
    {
        return figureOf(objective_->terms[t], sums_[t][g]);
    }
    std::size_t terms() const { return sums_.size(); }

    Groups groups;

private:
    static double figureOf(const PackTerm &term, double sum)
    {
        return term.reciprocal ? 1 / sum : sum;
    }

    double *work_;
    const PackObjective *objective_;
    std::vector<std::vector<double>> sums_;
    double preference_ = 0;
};

// Cells ordered by the first term's value.
struct ByValue {
    const std::vector<double> *v;
    bool operator()(std::size_t a, std::size_t b) const
    {
        return (*v)[a] != (*v)[b] ? (*v)[a] < (*v)[b] : a < b;
    }
};

// Work counted in group figures computed, shared by every search of one call.
struct Budget {
    double used = 0;
    double limit = kWorkBudget;
    bool left() const { return used < limit; }
};

// Swaps that lower the cost, each cell trying the cells whose value comes nearest to what
// would even out its group: with every other group and with the unchosen cells. Every swap
// keeps the members of each group and the unchosen cells in value order, and can be undone,
// so that a trial from the best arrangement costs what it changes rather than a copy.
class Search {
public:
    // outside: the unchosen cells that may be swapped in.
    Search(const std::vector<double> &v, Arrangement a, std::vector<std::size_t> outside,
           Budget &budget)
        : v_(&v),
          a_(std::move(a)),
          outside_(std::move(outside)),
          budget_(&budget),
          sorted_(a_.groups)
    {
        std::sort(outside_.begin(), outside_.end(), ByValue{v_});
        for (auto &s : sorted_)
            std::sort(s.begin(), s.end(), ByValue{v_});
        cost_ = a_.cost();
    }

    void descend()
    {
        while (budget_->left()) {
            bool improved = false;
            for (std::size_t g = 0; g < a_.groups.size() && budget_->left(); ++g)
                improved |= improveGroup(g, 1);
            if (improved)
                continue;
            // The extreme groups set the spreads: they look further afield.
            if (!improveExtremes())
                return;
        }
    }

    // Once no swap helps, a few random swaps shake the best arrangement and the search starts
    // again from there; a trial that finds nothing better is undone. For as long as that
    // finds better ones and the budget lasts. The generator's sequence is fixed by the
    // standard, so every machine gets the same result.
    void searchFurther()
    {
        std::mt19937 random(1);
        const std::size_t series = a_.groups.size();
        for (int fruitless = 0; budget_->left() && fruitless < kFruitlessRounds; ++fruitless) {
            const Cost best = cost_;
            undo_.clear();
            logging_ = true;
            for (int k = 0; k < 3; ++k) {
                const std::size_t g = random() % series, h = random() % series;
                const std::size_t i = random() % a_.groups[g].size();
                if (g != h)
                    swap(g, i, h, a_.groups[h][random() % a_.groups[h].size()]);
                else if (!outside_.empty())
                    swap(g, i, kUnchosen, outside_[random() % outside_.size()]);
            }
            cost_ = a_.cost();
            descend();
            logging_ = false;
            if (better(cost_, best)) {
                fruitless = -1;
            } else {
                while (!undo_.empty()) {
                    const Move m = undo_.back();
                    undo_.pop_back();
                    swap(m.g, m.i, m.h, m.other);
                }
                cost_ = best;
            }
            a_.recompute();
        }
    }

    const Cost &cost() const { return cost_; }
    const Groups &groups() const { return a_.groups; }

private:
    static constexpr std::size_t kUnchosen = SIZE_MAX;
    static constexpr std::size_t kWideLook = 8;

    // Cell i of group g and cell `other` of group h (or unchosen) change places; undone by
    // the same move with the cell that was at i as `other`.
    struct Move {
        std::size_t g, i, h, other;
    };

    // Exchanges the sums only; undone by the same call with cell and other swapped.
    void exchange(std::size_t g, std::size_t cell, std::size_t h, std::size_t other)
    {
        a_.exchange(g, cell, other);
        if (h != kUnchosen)
            a_.exchange(h, other, cell);
    }

    void swap(std::size_t g, std::size_t i, std::size_t h, std::size_t other)
    {
        const std::size_t cell = a_.groups[g][i];
        exchange(g, cell, h, other);
        a_.groups[g][i] = other;
        replaceSorted(sorted_[g], cell, other);
        if (h == kUnchosen) {
            replaceSorted(outside_, other, cell);
        } else {
            *std::find(a_.groups[h].begin(), a_.groups[h].end(), other) = cell;
            replaceSorted(sorted_[h], other, cell);
        }
        if (logging_)
            undo_.push_back({g, i, h, cell});
    }

    // Calls f with the cells of `sorted` whose values lie nearest to target, `look` either
    // side, and further up to kTolerantLook while within `slack` of it.
    template <class F>
    void around(const std::vector<std::size_t> &sorted, double target, std::size_t look,
                double slack, F f) const
    {
        const std::vector<double> &v = *v_;
        const auto it = std::lower_bound(sorted.begin(), sorted.end(), target,
                                         [&](std::size_t cell, double x) { return v[cell] < x; });
        const std::size_t at = std::size_t(it - sorted.begin());
        const auto reaches = [&](std::size_t k, std::size_t taken) {
            return taken < look
                || (taken < kTolerantLook && std::abs(v[sorted[k]] - target) <= slack);
        };
        std::size_t lo = at, hi = at;
        while (lo > 0 && reaches(lo - 1, at - lo))
            --lo;
        while (hi < sorted.size() && reaches(hi, hi - at))
            ++hi;
        for (std::size_t k = lo; k < hi; ++k)
            f(sorted[k]);
    }

    bool improveGroup(std::size_t g, std::size_t look)
    {
        const std::vector<double> &v = *v_;
        bool improved = false;
        for (std::size_t i = 0; i < a_.groups[g].size() && budget_->left(); ++i) {
            const std::size_t cell = a_.groups[g][i];
            const double slack = a_.slack();
            Cost best = cost_;
            std::optional<Move> move;
            const auto consider = [&](std::size_t h, std::size_t other) {
                exchange(g, cell, h, other);
                const Cost c = a_.cost();
                exchange(g, other, h, cell);
                if (better(c, best)) {
                    best = c;
                    move = Move{g, i, h, other};
                }
            };
            for (std::size_t h = 0; h < a_.groups.size(); ++h)
                if (h != g && a_.groups[g].size() > 1)
                    around(sorted_[h], v[cell] - (a_.sum(g) - a_.sum(h)) / 2, look, slack,
                           [&](std::size_t other) { consider(h, other); });
            around(outside_, a_.meanSum() - a_.sum(g) + v[cell], look, slack,
                   [&](std::size_t other) { consider(kUnchosen, other); });
            if (move) {
                swap(move->g, move->i, move->h, move->other);
                cost_ = best;
                improved = true;
            }
        }
        return improved;
    }

    // The lowest and highest group by each term look further afield.
    bool improveExtremes()
    {
        for (std::size_t t = 0; t < a_.terms(); ++t) {
            std::size_t lo = 0, hi = 0;
            for (std::size_t g = 1; g < a_.groups.size(); ++g) {
                if (a_.figure(t, g) < a_.figure(t, lo))
                    lo = g;
                if (a_.figure(t, g) > a_.figure(t, hi))
                    hi = g;
            }
            if (improveGroup(lo, kWideLook) || improveGroup(hi, kWideLook))
                return true;
        }
        return false;
    }

    // Moves `to` into the place of `from`, shifting only the cells between the two places.
    void replaceSorted(std::vector<std::size_t> &sorted, std::size_t from, std::size_t to) const
    {
        const ByValue less{v_};
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), from, less);
        const auto place = std::upper_bound(sorted.begin(), sorted.end(), to, less);
        if (place > at) {
            std::move(at + 1, place, at);
            *(place - 1) = to;
        } else {
            std::move_backward(place, at, at + 1);
            *place = to;
        }
    }

    const std::vector<double> *v_;
    Arrangement a_;
    std::vector<std::size_t> outside_; // by value
    Budget *budget_;
    Groups sorted_; // each group's members by value
    Cost cost_;
    std::vector<Move> undo_; // the swaps since the trial began, while logging_
    bool logging_ = false;
};

// Every grouping of `chosen` (each group's first member the lowest cell left), keeping the best.
class Exhaustive {
public:
    Exhaustive(const PackProblem &p) : p_(p), a_(p.objective, std::size_t(p.series)) { }

    void tryChoice(const std::vector<std::size_t> &chosen)
    {
        chosen_ = &chosen;
        place(0);
    }

    bool found() const { return found_; }
    Groups best;

private:
    void place(std::size_t k)
    {
        if (k == chosen_->size()) {
            const Cost c = a_.cost();
            if (!found_ || better(c, best_)) {
                found_ = true;
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
    bool found_ = false;
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

// The cells to start from: the lowest by preference, or else cells spread evenly over the
// window's values, whose many different values let the swaps even the groups out finely.
std::vector<std::size_t> startingCells(const PackProblem &p, std::vector<std::size_t> window,
                                       std::size_t n)
{
    if (!p.objective.preference.empty()) {
        const std::vector<double> &pref = p.objective.preference;
        std::stable_sort(window.begin(), window.end(),
                         [&](std::size_t a, std::size_t b) { return pref[a] < pref[b]; });
        return {window.begin(), window.begin() + std::ptrdiff_t(n)};
    }
    std::sort(window.begin(), window.end(), ByValue{&p.objective.terms[0].values});
    std::vector<std::size_t> cells;
    for (std::size_t k = 0; k < n; ++k)
        cells.push_back(window[k * window.size() / n]);
    return cells;
}

// Largest value first, each into the group of lowest sum that has room.
void deal(const PackProblem &p, std::vector<std::size_t> cells, Arrangement &a)
{
    const std::vector<double> &v = p.objective.terms[0].values;
    std::sort(cells.rbegin(), cells.rend(), ByValue{&v});
    using Entry = std::pair<double, std::size_t>; // sum, group
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
    for (std::size_t g = 0; g < a.groups.size(); ++g)
        open.push({0.0, g});
    for (std::size_t cell : cells) {
        const std::size_t g = open.top().second;
        open.pop();
        a.groups[g].push_back(cell);
        a.add(g, cell);
        if (a.groups[g].size() < std::size_t(p.parallel))
            open.push({a.sum(g), g});
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
        while (end < byVoltage.size()
               && p.microvolts[byVoltage[end]] - low <= p.maxVoltageSpreadMicrovolts)
            ++end;
        // A window that reaches no further than the one before holds a part of it.
        if (end - begin >= n && (spans.empty() || end > before))
            spans.push_back({begin, end});
    }
    std::stable_sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) {
        return a.end - a.begin > b.end - b.begin;
    });
    spans.resize(std::min(spans.size(), kWindowsSearched));
    std::vector<std::vector<std::size_t>> cells;
    for (const Span &s : spans)
        cells.emplace_back(byVoltage.begin() + std::ptrdiff_t(s.begin),
                           byVoltage.begin() + std::ptrdiff_t(s.end));
    return cells;
}

void requireTerms(const PackObjective &objective)
{
    if (objective.terms.empty() || objective.terms.size() > kMaxTerms)
        throw std::invalid_argument("a pack objective has one to four terms");
}

} // namespace

std::vector<double> packCost(const PackObjective &objective, const Groups &groups)
{
    requireTerms(objective);
    Arrangement a(objective, groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (std::size_t cell : groups[g])
            a.add(g, cell);
    return a.cost().values();
}

Groups searchPack(const PackProblem &p)
{
    requireTerms(p.objective);
    const std::size_t n = std::size_t(p.series) * std::size_t(p.parallel);
    if (p.candidates.size() < n)
        return {};
    if (p.candidates.size() <= kExhaustiveCandidates)
        return exhaustive(p);

    const auto spans = windows(p, n);
    const std::vector<double> &v = p.objective.terms[0].values;
    Budget budget;
    std::optional<Search> best;
    for (std::size_t w = 0; w < spans.size(); ++w) {
        // Each window gets its share of the budget for the first descent.
        budget.limit = kWorkBudget * double(w + 1) / double(spans.size() + 1);
        Arrangement a(p.objective, std::size_t(p.series), &budget.used);
        const std::vector<std::size_t> start = startingCells(p, spans[w], n);
        deal(p, start, a);
        std::vector<bool> chosen(p.microvolts.size(), false);
        for (std::size_t c : start)
            chosen[c] = true;
        std::vector<std::size_t> outside;
        for (std::size_t c : spans[w])
            if (!chosen[c])
                outside.push_back(c);
        Search search(v, std::move(a), std::move(outside), budget);
        search.descend();
        if (!best || better(search.cost(), best->cost()))
            best = std::move(search);
    }
    if (!best)
        return {};
    budget.limit = kWorkBudget;
    best->searchFurther();
    return best->groups();
}

void refuseTooFewInWindow(const PackProblem &problem)
{
    std::vector<std::int64_t> volts;
    for (std::size_t i : problem.candidates)
        volts.push_back(problem.microvolts[i]);
    std::sort(volts.begin(), volts.end());
    std::size_t most = 0;
    for (std::size_t begin = 0, end = 0; begin < volts.size(); ++begin) {
        while (end < volts.size()
               && volts[end] - volts[begin] <= problem.maxVoltageSpreadMicrovolts)
            ++end;
        most = std::max(most, end - begin);
    }
    const std::size_t needed = std::size_t(problem.series) * std::size_t(problem.parallel);
    throw ENotEnoughCells(
        QStringLiteral("%1S%2P needs %3 cells whose voltages lie within %4 V of each other; "
                       "the most there are is %5, %6 missing")
            .arg(problem.series)
            .arg(problem.parallel)
            .arg(needed)
            .arg(QString::fromLatin1(reading::decimalText({problem.maxVoltageSpreadMicrovolts, 6})))
            .arg(most)
            .arg(needed - std::min(needed, most)));
}

} // namespace analysis
