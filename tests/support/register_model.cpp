#include "register_model.h"

#include <QTimeZone>

#include <algorithm>
#include <set>

namespace regmodel {

namespace {

// The exit codes the tool documents.
constexpr int kOk = 0;
constexpr int kUsage = 2;
constexpr int kNotEnoughCells = 6;
constexpr int kUnknownOrRepeated = 10;

QString cellList(const QStringList &labels)
{
    return labels.join(u',');
}

} // namespace

qint64 microohmsAt(int place)
{
    return place == 3 ? 80'000 : 30'000 + 1'000 * place;
}

int milliampHoursAt(int place)
{
    return 2500 - 50 * place;
}

QString Step::describe() const
{
    switch (kind) {
    case Kind::Record:
        return QStringLiteral("record --cells %1 --at %2%3 (%4 mV)")
            .arg(cellList(labels), at, restStart ? QStringLiteral(" --rest-start") : QString())
            .arg(millivolts);
    case Kind::Undo:
        return run ? QStringLiteral("undo %1").arg(run) : QStringLiteral("undo LATEST");
    case Kind::Retire: return QStringLiteral("cell retire %1").arg(labels.value(0));
    case Kind::Restore: return QStringLiteral("cell restore %1").arg(labels.value(0));
    case Kind::Relabel:
        return QStringLiteral("cell relabel %1 %2").arg(labels.value(0), labels.value(1));
    case Kind::Capacity: return QStringLiteral("capacity %1").arg(cellList(labels));
    case Kind::Match:
        return QStringLiteral("match --series 1 --parallel 2 --save-pack %1").arg(pack);
    case Kind::Replace:
        return QStringLiteral("pack replace %1 %2 --apply").arg(pack, labels.value(0));
    case Kind::DeletePack: return QStringLiteral("pack delete %1").arg(pack);
    }
    return {};
}

std::optional<QDateTime> Model::instantOf(const QString &at) const
{
    const QString trimmed = at.trimmed();
    QDateTime instant;
    const bool zoned = trimmed.endsWith(u'Z')
        || (trimmed.size() > 16
            && (trimmed.at(trimmed.size() - 6) == u'+' || trimmed.at(trimmed.size() - 6) == u'-'));
    if (zoned) {
        instant = QDateTime::fromString(trimmed, Qt::ISODate);
    } else {
        // A wall-clock time names the instants at which the local clock showed it: none in
        // the hour skipped in spring, two in the hour repeated in autumn.
        QDateTime naive = QDateTime::fromString(trimmed, Qt::ISODate);
        if (!naive.isValid())
            return std::nullopt;
        naive.setTimeZone(QTimeZone::utc());
        std::set<qint64> instants;
        for (const qint64 probe : {-86'400LL, 0LL, 86'400LL}) {
            const int offset = naive.addSecs(probe).toLocalTime().offsetFromUtc();
            const QDateTime candidate = naive.addSecs(-offset);
            const QDateTime local = candidate.toLocalTime();
            if (local.offsetFromUtc() == offset)
                instants.insert(candidate.toMSecsSinceEpoch());
        }
        if (instants.size() != 1)
            return std::nullopt;
        instant = QDateTime::fromMSecsSinceEpoch(*instants.begin(), QTimeZone::utc());
    }
    if (!instant.isValid() || instant > now_)
        return std::nullopt;
    return instant.toUTC();
}

Cell *Model::find(const QString &label)
{
    const auto it = cells_.find(key(label));
    return it == cells_.end() ? nullptr : &it->second;
}

const Measurement *Model::latest(const Cell &c) const
{
    const Measurement *best = nullptr;
    for (const Measurement &m : c.measurements)
        if (!best || m.at >= best->at)
            best = &m;
    return best;
}

QString Model::status(const Cell &c) const
{
    if (c.retired)
        return QStringLiteral("retired");
    const Measurement *m = latest(c);
    if (!m)
        return QStringLiteral("fail");
    const bool fails = m->microohms > rules_.maxMicroohms
        || (rules_.withVoltage && m->microvolts < rules_.minMicrovolts);
    return fails ? QStringLiteral("fail") : QStringLiteral("pass");
}

bool Model::offerable(const Cell &c) const
{
    return c.pack.isEmpty() && status(c) == u"pass";
}

QStringList Model::packNames() const
{
    QStringList names;
    for (const auto &[name, pack] : packs_)
        names << name;
    return names;
}

int Model::apply(const Step &step)
{
    using K = Step::Kind;
    switch (step.kind) {
    case K::Record: {
        const auto at = instantOf(step.at);
        if (!at)
            return kUsage;
        std::set<QString> keys;
        for (const QString &l : step.labels)
            if (!keys.insert(key(l)).second)
                return kUnknownOrRepeated;
        runs_.push_back({++lastRun_, int(step.labels.size()), false});
        for (int i = 0; i < step.labels.size(); ++i) {
            Cell &c = cells_[key(step.labels[i])];
            if (c.label.isEmpty())
                c.label = step.labels[i];
            c.measurements.push_back(
                {lastRun_, *at, microohmsAt(i), step.millivolts * 1000LL, step.restStart});
        }
        return kOk;
    }
    case K::Undo: {
        const qint64 number = step.run ? step.run : lastRun_;
        const auto run = std::find_if(runs_.begin(), runs_.end(),
                                      [&](const Run &r) { return r.number == number; });
        if (run == runs_.end() || run->undone)
            return kUnknownOrRepeated;
        run->undone = true;
        for (auto it = cells_.begin(); it != cells_.end();) {
            Cell &c = it->second;
            const bool hadIt = std::any_of(c.measurements.begin(), c.measurements.end(),
                                           [&](const Measurement &m) { return m.run == number; });
            std::erase_if(c.measurements, [&](const Measurement &m) { return m.run == number; });
            // The cells only this run brought, holding nothing else, go with it.
            const bool alone = hadIt && c.measurements.empty() && !c.milliampHours && !c.retired
                && c.pack.isEmpty() && !c.swapped;
            it = alone ? cells_.erase(it) : std::next(it);
        }
        return kOk;
    }
    case K::Retire: {
        Cell *c = find(step.labels.value(0));
        if (!c || !c->pack.isEmpty())
            return kUnknownOrRepeated;
        c->retired = QStringLiteral("dented");
        return kOk;
    }
    case K::Restore: {
        Cell *c = find(step.labels.value(0));
        if (!c)
            return kUnknownOrRepeated;
        c->retired.reset();
        return kOk;
    }
    case K::Relabel: {
        Cell *c = find(step.labels.value(0));
        const Cell *other = find(step.labels.value(1));
        if (!c || (other && other != c))
            return kUnknownOrRepeated;
        Cell moved = *c;
        moved.label = step.labels.value(1);
        cells_.erase(key(step.labels.value(0)));
        cells_[key(moved.label)] = moved;
        return kOk;
    }
    case K::Capacity: {
        for (const QString &l : step.labels)
            if (!find(l))
                return kUnknownOrRepeated;
        for (int i = 0; i < step.labels.size(); ++i)
            find(step.labels[i])->milliampHours = milliampHoursAt(i);
        return kOk;
    }
    case K::DeletePack: {
        if (!packs_.erase(step.pack))
            return kUnknownOrRepeated;
        for (auto &[k, c] : cells_)
            if (c.pack == step.pack) {
                c.pack.clear();
                c.group = c.position = 0;
            }
        return kOk;
    }
    case K::Match:
    case K::Replace: break;
    }
    return -1;
}

QString Model::adopt(const Step &step, int exitCode, const std::vector<QStringList> &chosen)
{
    if (step.kind == Step::Kind::Match) {
        const int series = 1, parallel = 2;
        int offered = 0;
        for (const auto &[k, c] : cells_)
            offered += offerable(c) ? 1 : 0;
        if (exitCode != kOk) {
            // The search's voltage window and capacity-first choice are the tool's: a refusal
            // is either too few cells (6) or a pack name taken (10), never another fault.
            const bool known = exitCode == kNotEnoughCells
                || (exitCode == kUnknownOrRepeated && packs_.count(step.pack));
            return known ? QString()
                         : QStringLiteral("match failed with exit %1 (%2 cells offerable)")
                               .arg(exitCode)
                               .arg(offered);
        }
        if (packs_.count(step.pack))
            return QStringLiteral("match saved over the existing pack %1").arg(step.pack);
        if (int(chosen.size()) != series)
            return QStringLiteral("the pack has %1 groups").arg(chosen.size());
        std::set<QString> seen;
        for (const QStringList &g : chosen) {
            if (g.size() != parallel)
                return QStringLiteral("a group of %1 cells").arg(g.size());
            for (const QString &l : g) {
                const Cell *c = find(l);
                if (!c)
                    return QStringLiteral("the pack holds the unknown cell %1").arg(l);
                if (!offerable(*c))
                    return QStringLiteral("the pack took %1, which is %2%3")
                        .arg(l, status(*c),
                             c->pack.isEmpty() ? QString() : QStringLiteral(" in ") + c->pack);
                if (!seen.insert(key(l)).second)
                    return QStringLiteral("the pack holds %1 twice").arg(l);
            }
        }
        packs_[step.pack] = {series, parallel};
        for (int g = 0; g < int(chosen.size()); ++g)
            for (int p = 0; p < int(chosen[g].size()); ++p) {
                Cell *c = find(chosen[g][p]);
                c->pack = step.pack;
                c->group = g + 1;
                c->position = p + 1;
            }
        return {};
    }
    // Replace: chosen is the pack's layout after the swap.
    Cell *out = find(step.labels.value(0));
    const bool known = packs_.count(step.pack) && out && out->pack == step.pack;
    if (exitCode != kOk)
        return known && exitCode == kUnknownOrRepeated
            ? QStringLiteral("the cell %1 of pack %2 was not taken as known")
                  .arg(out->label, step.pack)
            : QString();
    if (!known)
        return QStringLiteral("replace accepted a cell not in the pack");
    const QString spare = chosen.at(out->group - 1).value(out->position - 1);
    Cell *in = find(spare);
    if (!in || !offerable(*in))
        return QStringLiteral("the spare %1 was not offerable").arg(spare);
    in->pack = step.pack;
    in->group = out->group;
    in->position = out->position;
    in->swapped = out->swapped = true;
    out->pack.clear();
    out->group = out->position = 0;
    out->retired = QStringLiteral("taken out of pack '%1'").arg(step.pack);
    return {};
}

QStringList Model::differences(const Observed &seen) const
{
    QStringList d;
    // Cells are listed in the bytes' order of their labels.
    // The listings show the cells that hold a reading; one whose every reading was taken
    // back, kept for its capacity or its pack, is still the register's: `cell` shows it.
    std::vector<const Cell *> expected;
    for (const auto &[k, c] : cells_) {
        if (!c.measurements.empty())
            expected.push_back(&c);
        else if (!seen.shownByCell.contains(c.label))
            d << QStringLiteral("cell %1 is lost: `cell` does not show it").arg(c.label);
    }
    std::sort(expected.begin(), expected.end(),
              [](const Cell *a, const Cell *b) { return a->label.toUtf8() < b->label.toUtf8(); });
    // Both listings of the cells, the tool's and the lab view's, hold the same truth.
    const auto compareListing = [&](const char *reader,
                                    const std::vector<Observed::CellRow> &rows) {
        QStringList wanted, shown;
        for (const Cell *c : expected)
            wanted << c->label;
        for (const auto &row : rows)
            shown << row.label;
        if (wanted != shown) {
            d << QStringLiteral("%1: expected %2, shown %3")
                     .arg(QLatin1String(reader), wanted.join(u' '), shown.join(u' '));
            return;
        }
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Cell &c = *expected[i];
            const Observed::CellRow &row = rows[i];
            const Measurement *m = latest(c);
            const auto differ = [&](const char *what, const QString &want, const QString &got) {
                if (want != got)
                    d << QStringLiteral("%1: cell %2: %3 %4, expected %5")
                             .arg(QLatin1String(reader), c.label, QLatin1String(what), got, want);
            };
            differ("measurements", QString::number(c.measurements.size()),
                   QString::number(row.measurements));
            differ("resistance", QString::number(m ? m->microohms : 0),
                   QString::number(row.microohms));
            differ("voltage", QString::number(m ? m->microvolts : 0),
                   QString::number(row.microvolts));
            differ("capacity", c.milliampHours ? QString::number(*c.milliampHours) : QString(),
                   row.milliampHours ? QString::number(*row.milliampHours) : QString());
            differ("pack", c.pack, row.pack);
            differ("status", status(c), row.status);
        }
    };
    compareListing("cells", seen.cells);
    if (seen.labCells)
        compareListing("lab view", *seen.labCells);
    if (!d.isEmpty())
        return d;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Cell &c = *expected[i];
        const auto differ = [&](const char *what, const QString &want, const QString &got) {
            if (want != got)
                d << QStringLiteral("cell %1: %2 %3, expected %4").arg(c.label, what, got, want);
        };
        const auto exported = seen.exported.find(c.label);
        differ("exported rows", QString::number(c.measurements.size()),
               QString::number(exported == seen.exported.end() ? 0 : exported->second));
        const auto reason = seen.retiredReasons.find(c.label);
        differ("retired", c.retired.value_or(QString()),
               reason == seen.retiredReasons.end() ? QString() : reason->second);
    }
    if (seen.exported.size() > expected.size())
        d << QStringLiteral("export lists %1 labels for %2 cells")
                 .arg(seen.exported.size())
                 .arg(expected.size());
    std::vector<std::pair<qint64, int>> runs;
    for (const Run &r : runs_)
        if (!r.undone)
            runs.emplace_back(r.number, r.readings);
    if (runs != seen.runs) {
        QStringList want, got;
        for (const auto &[n, readings] : runs)
            want << QStringLiteral("%1:%2").arg(n).arg(readings);
        for (const auto &[n, readings] : seen.runs)
            got << QStringLiteral("%1:%2").arg(n).arg(readings);
        d << QStringLiteral("runs: %1, expected %2").arg(got.join(u' '), want.join(u' '));
    }
    for (const auto &[name, pack] : packs_) {
        std::vector<QStringList> groups(std::size_t(pack.series), QStringList());
        for (auto &g : groups)
            g.resize(pack.parallel);
        for (const auto &[k, c] : cells_)
            if (c.pack == name)
                groups.at(std::size_t(c.group - 1))[c.position - 1] = c.label;
        const auto shownPack = seen.packs.find(name);
        if (shownPack == seen.packs.end() || shownPack->second != groups)
            d << QStringLiteral("pack %1 does not hold its cells").arg(name);
    }
    // Retired cells are counted apart from those that pass or fail, and get no pass label.
    int passes = 0, fails = 0;
    QStringList passing;
    for (const Cell *c : expected) {
        passes += status(*c) == u"pass" ? 1 : 0;
        fails += status(*c) == u"fail" ? 1 : 0;
        if (status(*c) == u"pass")
            passing << c->label;
    }
    if (seen.reportCounts && *seen.reportCounts != std::pair{passes, fails})
        d << QStringLiteral("report: %1 pass, %2 fail; expected %3 and %4")
                 .arg(seen.reportCounts->first)
                 .arg(seen.reportCounts->second)
                 .arg(passes)
                 .arg(fails);
    if (seen.passLabels && *seen.passLabels != passing)
        d << QStringLiteral("pass labels for %1; expected %2")
                 .arg(seen.passLabels->join(u' '), passing.join(u' '));
    if (seen.packs.size() != packs_.size())
        d << QStringLiteral("%1 packs shown, %2 expected")
                 .arg(seen.packs.size())
                 .arg(packs_.size());
    return d;
}

namespace {

Step record(const QStringList &labels, const QString &at, int millivolts = 4150,
            bool restStart = false)
{
    Step s;
    s.labels = labels;
    s.at = at;
    s.millivolts = millivolts;
    s.restStart = restStart;
    return s;
}

Step command(Step::Kind kind, const QStringList &labels = {}, const QString &pack = {},
             qint64 run = 0)
{
    Step s;
    s.kind = kind;
    s.labels = labels;
    s.pack = pack;
    s.run = run;
    return s;
}

} // namespace

std::vector<Step> groundwork()
{
    using K = Step::Kind;
    const QStringList tray{"A1", "A2", "A3", "B1"};
    return {record(tray, "2026-10-20T09:00", 4150, true), record(tray, "2026-10-28T09:00", 4140),
            command(K::Capacity, {"A1", "A2", "A3"})};
}

std::vector<Step> alphabet()
{
    using K = Step::Kind;
    return {
        // A scanner typing lower case, a typo, a twin within one list, a dead cell.
        record({"a1", "C1"}, "2026-10-29T09:00"),
        record({"A2", "a2"}, "2026-10-29T09:00"),
        record({"D1"}, "2026-10-29T10:00", 1000),
        // The hour that happened twice, with and without its offset; the hour skipped in
        // spring; a time ahead of the clock.
        record({"A3"}, "2026-10-25T02:30"),
        record({"A3"}, "2026-10-25T02:30+01:00"),
        record({"B1"}, "2026-03-29T02:30"),
        record({"B1"}, "2099-01-01T09:00"),
        command(K::Undo, {}, {}, 1),
        command(K::Undo),
        command(K::Retire, {"a2"}),
        command(K::Restore, {"A2"}),
        command(K::Relabel, {"A2", "a3"}),
        command(K::Relabel, {"b1", "E1"}),
        command(K::Capacity, {"b1"}),
        command(K::Match, {}, "P"),
        command(K::Replace, {"A1"}, "P"),
        command(K::DeletePack, {}, "P"),
    };
}

std::vector<Step> sequence(const std::vector<int> &indices)
{
    const std::vector<Step> all = alphabet();
    std::vector<Step> steps = groundwork();
    for (const int i : indices)
        steps.push_back(all.at(std::size_t(i)));
    return steps;
}

} // namespace regmodel
