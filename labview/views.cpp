#include "labview/views.h"

#include "analysis/pack_totals.h"
#include "cellregister/cell_life.h"
#include "cellregister/local_time.h"
#include "cellregister/measurements.h"
#include "cellregister/packs.h"
#include "cellregister/replacement.h"
#include "labview/errors.h"
#include "report/captions.h"
#include "report/html_report.h"
#include "report/register/register_batch.h"
#include "report/units.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace labview {

namespace {

using cellregister::CellSummary;

QJsonValue orNull(const std::optional<double> &v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue orNull(const std::optional<std::int64_t> &v)
{
    return v ? QJsonValue(qint64(*v)) : QJsonValue();
}

// A self-discharge only where something needs it: the local-time arithmetic of a rest is
// the costliest part of judging a hundred thousand cells.
struct Judged {
    const CellSummary *cell;
    std::optional<double> selfDischarge;
    bool pass;
};

QJsonArray reasons(const std::vector<analysis::Failure> &failures, const analysis::Rules &rules,
                   report::Language language)
{
    QJsonArray out;
    for (const analysis::Failure &f : failures)
        out.append(report::captions(language).failureText(f, rules));
    return out;
}

QJsonObject row(const CellSummary &c, const analysis::Rules &rules, report::Language language)
{
    const auto sd = cellregister::selfDischarge(c, rules.minDays);
    const auto failures = cellregister::failures(c, rules);
    return {
        {"label", c.label},
        {"microohms", qint64(c.microohms)},
        {"resistance", report::milliohmText(c.microohms)},
        {"microvolts", qint64(c.microvolts)},
        {"voltage", report::voltText(c.microvolts)},
        {"capacity",
         c.capacityMicroampHours ? QJsonValue(report::milliampHourText(*c.capacityMicroampHours))
                                 : QJsonValue()},
        {"microampHours", orNull(c.capacityMicroampHours)},
        {"selfDischarge", orNull(sd)},
        {"measurements", c.measurements},
        {"latest", cellregister::localTimeText(c.latest)},
        {"pack", c.pack},
        {"status", cellregister::statusText(c)},
        {"retired", c.retired ? QJsonValue(*c.retired) : QJsonValue()},
        {"pass", failures.empty() && !c.retired},
        {"reasons", reasons(failures, rules, language)},
    };
}

// Orders by the column, cells without the value last whichever way, then by label.
template <typename Key>
void sortBy(std::vector<Judged> &cells, bool descending, Key key)
{
    std::stable_sort(cells.begin(), cells.end(), [&](const Judged &a, const Judged &b) {
        const auto ka = key(a), kb = key(b);
        if (ka.has_value() != kb.has_value())
            return ka.has_value();
        if (ka && *ka != *kb)
            return descending ? *kb < *ka : *ka < *kb;
        return false;
    });
}

} // namespace

namespace {

QString selectionKey(const CellQuery &q)
{
    const auto opt = [](const auto &v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    return QStringList{QString::number(int(q.sort)),
                       QString::number(q.descending),
                       QString::number(int(q.verdict)),
                       QString::number(int(q.status)),
                       q.pack,
                       q.label,
                       opt(q.rules.maxMicroohms),
                       opt(q.rules.maxSelfDischargeMvPerDay),
                       opt(q.rules.minCapacityMicroampHours),
                       opt(q.rules.minMicrovolts),
                       opt(q.rules.maxMicrovolts),
                       QString::number(q.rules.minDays)}
        .join(QChar(0));
}

std::shared_ptr<const CellsSnapshot::Selection> select(const CellsSnapshot &snapshot,
                                                       const CellQuery &q)
{
    const bool needsSelfDischarge =
        q.rules.maxSelfDischargeMvPerDay || q.sort == Column::SelfDischarge;
    std::vector<Judged> matching;
    auto out = std::make_shared<CellsSnapshot::Selection>();
    for (const CellSummary &c : snapshot.cells) {
        Judged j{&c, std::nullopt, true};
        if (needsSelfDischarge)
            j.selfDischarge = cellregister::selfDischarge(c, q.rules.minDays);
        // A retired cell is counted neither among the passes nor the failures.
        j.pass = !c.retired
            && analysis::failures(
                   {c.microohms, c.microvolts, j.selfDischarge, c.capacityMicroampHours}, q.rules)
                   .empty();
        if (!c.retired)
            ++(j.pass ? out->pass : out->fail);
        if ((q.verdict == Verdict::Pass && !j.pass)
            || (q.verdict == Verdict::Fail && (j.pass || c.retired)))
            continue;
        if ((q.status == Status::InStock && !cellregister::inStock(c))
            || (q.status == Status::InPack && c.pack.isEmpty())
            || (q.status == Status::Retired && !c.retired))
            continue;
        if (!q.pack.isEmpty() && c.pack != q.pack)
            continue;
        if (!q.label.isEmpty() && !c.label.contains(q.label, Qt::CaseInsensitive))
            continue;
        matching.push_back(j);
    }
    // The snapshot is in label order already.
    const bool d = q.descending;
    using I = std::optional<std::int64_t>;
    switch (q.sort) {
    case Column::Label:
        if (d)
            std::reverse(matching.begin(), matching.end());
        break;
    case Column::Resistance:
        sortBy(matching, d, [](const Judged &j) { return I(j.cell->microohms); });
        break;
    case Column::Voltage:
        sortBy(matching, d, [](const Judged &j) { return I(j.cell->microvolts); });
        break;
    case Column::Capacity:
        sortBy(matching, d, [](const Judged &j) { return I(j.cell->capacityMicroampHours); });
        break;
    case Column::SelfDischarge:
        sortBy(matching, d, [](const Judged &j) { return j.selfDischarge; });
        break;
    case Column::Measurements:
        sortBy(matching, d, [](const Judged &j) { return I(j.cell->measurements); });
        break;
    case Column::Latest:
        sortBy(matching, d, [](const Judged &j) { return I(j.cell->latest.toMSecsSinceEpoch()); });
        break;
    case Column::Pack:
        sortBy(matching, d, [](const Judged &j) {
            return j.cell->pack.isEmpty() ? std::optional<QString>() : j.cell->pack;
        });
        break;
    }
    out->cells.reserve(matching.size());
    for (const Judged &j : matching)
        out->cells.push_back(j.cell);
    return out;
}

} // namespace

QByteArray cellsJson(const CellsSnapshot &snapshot, const CellQuery &q, report::Language language)
{
    const QString key = selectionKey(q);
    std::shared_ptr<const CellsSnapshot::Selection> selection;
    {
        std::lock_guard lock(snapshot.memoMutex);
        if (snapshot.memo && snapshot.memoKey == key)
            selection = snapshot.memo;
    }
    if (!selection) {
        selection = select(snapshot, q);
        std::lock_guard lock(snapshot.memoMutex);
        snapshot.memoKey = key;
        snapshot.memo = selection;
    }
    const auto &matching = selection->cells;
    QJsonArray rows;
    const std::size_t first = std::size_t(q.page) * std::size_t(q.pageSize);
    for (std::size_t i = first; i < matching.size() && i < first + std::size_t(q.pageSize); ++i)
        rows.append(row(*matching[i], q.rules, language));
    const QJsonObject out{
        {"total", qint64(snapshot.cells.size())},
        {"pass", selection->pass},
        {"fail", selection->fail},
        {"matching", qint64(matching.size())},
        {"page", q.page},
        {"pageSize", q.pageSize},
        {"rows", rows},
    };
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QByteArray cellJson(cellregister::CellRegister &r, const QString &label,
                    const analysis::Rules &rules, report::Language language)
{
    cellregister::CellRegister::Snapshot snapshot(r);
    const auto summary = cellregister::summarizeCell(r, label);
    if (!summary)
        return {};
    QJsonArray readings;
    cellregister::forEachMeasurement(r, label, [&](const cellregister::Measurement &m) {
        readings.append(QJsonObject{
            {"at", cellregister::localTimeText(m.at)},
            {"microohms", qint64(m.microohms)},
            {"microvolts", qint64(m.microvolts)},
            {"resistance", m.resistanceText},
            {"voltage", m.voltageText},
            {"rest", m.restStart},
            {"source", m.source},
        });
    });
    QJsonArray capacities;
    for (const auto &c : cellregister::capacityHistory(r, label))
        capacities.append(QJsonObject{
            {"capacity", report::milliampHourText(c.microampHours)},
            {"source", c.source},
            {"at", c.at.isValid() ? cellregister::localTimeText(c.at) : QString()},
        });
    QJsonArray swaps;
    for (const auto &[pack, s] : cellregister::swapsOfCell(r, label))
        swaps.append(QJsonObject{
            {"pack", pack},
            {"group", s.group},
            {"removed", s.removed},
            {"added", s.added},
            {"at", cellregister::localTimeText(s.at)},
        });
    QJsonObject out = row(*summary, rules, language);
    out.insert("readings", readings);
    out.insert("capacities", capacities);
    out.insert("swaps", swaps);
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QByteArray summaryHtml(const CellsSnapshot &snapshot, const CellQuery &q, report::Language language)
{
    const analysis::Rules &r = q.rules;
    const auto opt = [](const auto &v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    const QString key = QStringList{opt(r.maxMicroohms),
                                    opt(r.maxSelfDischargeMvPerDay),
                                    opt(r.minCapacityMicroampHours),
                                    opt(r.minMicrovolts),
                                    opt(r.maxMicrovolts),
                                    QString::number(r.minDays),
                                    QString::number(int(language))}
                            .join(u' ');
    std::lock_guard lock(snapshot.summaryMutex);
    if (snapshot.summaryKey != key) {
        snapshot.summary =
            report::openingHtml(report::batchOf(snapshot.cells, r, QString()), language).toUtf8();
        snapshot.summaryKey = key;
    }
    return snapshot.summary;
}

const CellSummary *CellsSnapshot::find(const QString &label) const
{
    std::call_once(indexed_, [this] {
        index_.reserve(qsizetype(cells.size()));
        for (const CellSummary &c : cells)
            index_.insert(c.label, &c);
    });
    return index_.value(label);
}

QByteArray packsJson(cellregister::CellRegister &r, const CellsSnapshot &cellsNow,
                     const analysis::Rules &rules)
{
    cellregister::CellRegister::Snapshot snapshot(r);
    QJsonArray packs;
    // The list holds each pack's name and shape; its cells come with the pack itself.
    for (const cellregister::Pack &listed : cellregister::listPacks(r)) {
        const cellregister::Pack p = cellregister::loadPack(r, listed.name);
        const analysis::Rules judged = cellregister::packRules(p, std::nullopt, rules);
        std::vector<std::vector<analysis::PackCell>> cells;
        QJsonArray groups;
        for (const QStringList &g : p.groups) {
            auto &group = cells.emplace_back();
            QJsonArray members;
            for (const QString &label : g) {
                const CellSummary *found = cellsNow.find(label);
                const CellSummary c = found ? *found : CellSummary{};
                group.push_back({c.microohms, c.microvolts, c.capacityMicroampHours});
                members.append(QJsonObject{
                    {"label", label},
                    {"voltage", report::voltText(c.microvolts)},
                    {"resistance", report::milliohmText(c.microohms)},
                    {"capacity",
                     c.capacityMicroampHours
                         ? QJsonValue(report::milliampHourText(*c.capacityMicroampHours))
                         : QJsonValue()},
                    {"pass", cellregister::failures(c, judged).empty()},
                });
            }
            groups.append(members);
        }
        const analysis::PackTotals t = analysis::packTotals(cells);
        packs.append(QJsonObject{
            {"name", p.name},
            {"series", p.series},
            {"parallel", p.parallel},
            {"created", cellregister::localTimeText(p.created)},
            {"groups", groups}, // the first is the − end, the last the + end
            {"nominalVoltage", report::voltText(t.nominalMillivolts * 1000)},
            {"measuredVoltage", report::voltText(t.measuredMicrovolts)},
            {"capacity",
             t.microampHours ? QJsonValue(report::milliampHourText(*t.microampHours))
                             : QJsonValue()},
            {"wattHours", orNull(t.wattHours)},
            {"ohms", t.ohms},
        });
    }
    return QJsonDocument(packs).toJson(QJsonDocument::Compact);
}

namespace {

// The pack and every cell at one moment, and the spare chosen among them.
cellregister::Replacement proposal(cellregister::CellRegister &r, const QString &pack,
                                   const QString &failed, const analysis::Rules &rules)
{
    cellregister::CellRegister::Snapshot snapshot(r);
    const cellregister::Pack p = cellregister::loadPack(r, pack);
    return cellregister::proposeReplacement(p, failed, cellregister::summarizeCells(r),
                                            cellregister::packRules(p, std::nullopt, rules));
}

} // namespace

QByteArray proposalJson(cellregister::CellRegister &r, const QString &pack, const QString &failed,
                        const analysis::Rules &rules)
{
    const cellregister::Replacement p = proposal(r, pack, failed, rules);
    QJsonArray groups;
    for (const QStringList &g : p.groups)
        groups.append(QJsonArray::fromStringList(g));
    return QJsonDocument(QJsonObject{
                             {"pack", pack},
                             {"failed", p.failed},
                             {"spare", p.spare},
                             {"group", p.group + 1},
                             {"position", qint64(p.position + 1)},
                             {"spreadBefore",
                              report::milliohmText(std::llround(p.before.resistanceSpread * 1e6))},
                             {"spreadAfter",
                              report::milliohmText(std::llround(p.after.resistanceSpread * 1e6))},
                             {"groups", groups},
                         })
        .toJson(QJsonDocument::Compact);
}

void applyReplacement(cellregister::CellRegister &r, const QString &pack, const QString &failed,
                      const QString &expected, bool keep, const analysis::Rules &rules)
{
    const QString spare = proposal(r, pack, failed, rules).spare;
    if (spare != expected)
        throw EProposalChanged(
            QStringLiteral("the register changed: the spare for %1 is now %2, not %3")
                .arg(failed, spare, expected));
    cellregister::swapCell(r, pack, failed, spare,
                           keep ? cellregister::Removed::BackInStock
                                : cellregister::Removed::Retire);
}

} // namespace labview
