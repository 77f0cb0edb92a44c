#include "cli/register/cell_labels.h"

#include "cellregister/errors.h"

#include "cli/common/errors.h"
#include "cli/common/streams.h"
#include "cli/options/cell_list.h"

#include <algorithm>

namespace cli {

namespace {

// Enough to find them; a scanner's file gone wrong would list every line otherwise.
constexpr std::size_t kProblemsShown = 20;

QString problemText(const LabelProblem &p, bool file)
{
    switch (p.fault) {
    case LabelFault::Empty: return QStringLiteral("an empty label");
    case LabelFault::Repeated:
        return QStringLiteral("%1 again (first %2 %3)")
            .arg(p.text, file ? QStringLiteral("on line") : QStringLiteral("in item"),
                 QString::number(p.firstPlace));
    case LabelFault::BadRange:
        return QStringLiteral("'%1' is no range like A001..A020 (one prefix, numbers of one "
                              "width)")
            .arg(p.text);
    case LabelFault::Backwards: return QStringLiteral("%1 runs backwards").arg(p.text);
    case LabelFault::TooMany:
        return QStringLiteral("%1 makes more than %2 labels or %3 characters of them in all")
            .arg(p.text, QString::number(kMostLabels), QString::number(kMostLabelCharacters));
    case LabelFault::NotText: {
        // A scanner's prefix or suffix byte shows where it is rather than not at all.
        QString shown;
        for (const QChar c : p.text)
            shown += c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
                ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'))
                : QString(c);
        return QStringLiteral("'%1' holds a control or invisible character, or is no UTF-8 text")
            .arg(shown);
    }
    case LabelFault::NoLabels: return QStringLiteral("no label at all");
    }
    return {};
}

// One problem a line, each after where it is: "FILE:7: ..." or "item 3: ...".
QString problemsText(const std::vector<LabelProblem> &problems, const QString &file)
{
    QStringList lines;
    for (std::size_t i = 0; i < std::min(problems.size(), kProblemsShown); ++i) {
        const LabelProblem &p = problems[i];
        const QString text = problemText(p, !file.isNull());
        if (p.place == 0)
            lines << (file.isNull() ? text : file + QStringLiteral(": ") + text);
        else if (file.isNull())
            lines << QStringLiteral("item %1: %2").arg(QString::number(p.place), text);
        else
            lines << QStringLiteral("%1:%2: %3").arg(file, QString::number(p.place), text);
    }
    if (problems.size() > kProblemsShown)
        lines << QStringLiteral("and %1 more").arg(problems.size() - kProblemsShown);
    return lines.join(u'\n');
}

} // namespace

QStringList namedCells(const QString &cells, const QString &cellsFrom, const QString &subcommand)
{
    // A label named twice (in any case) is a repeated label, exit 10, when nothing else is
    // wrong with the list.
    const auto onlyRepeats = [](const LabelList &list) {
        return std::all_of(list.problems.begin(), list.problems.end(),
                           [](const LabelProblem &p) { return p.fault == LabelFault::Repeated; });
    };
    if (cellsFrom.isEmpty()) {
        LabelList list = parseLabelList(cells);
        if (!list.problems.empty() && onlyRepeats(list))
            throw EDuplicateEntry(
                QStringLiteral("%1: --cells %2:\n%3")
                    .arg(subcommand, cells, problemsText(list.problems, QString())));
        if (list.problems.size() == 1 && !cells.contains(u','))
            refuseUsage(subcommand,
                        QStringLiteral("--cells: ") + problemText(list.problems.front(), false));
        if (!list.problems.empty())
            refuseUsage(subcommand,
                        QStringLiteral("--cells %1:\n%2")
                            .arg(cells, problemsText(list.problems, QString())));
        return std::move(list.labels);
    }
    LabelList list = parseLabelFile(inputBytes(cellsFrom));
    if (!list.problems.empty() && onlyRepeats(list))
        throw EDuplicateEntry(QStringLiteral("%1: the labels of --cells-from cannot be used:\n%2")
                                  .arg(subcommand, problemsText(list.problems, cellsFrom)));
    if (!list.problems.empty())
        throw EInputFile(QStringLiteral("%1: the labels of --cells-from cannot be used:\n%2")
                             .arg(subcommand, problemsText(list.problems, cellsFrom)));
    return std::move(list.labels);
}

QString namedCellsText(const QString &cells, const QString &cellsFrom)
{
    return cellsFrom.isEmpty() ? QStringLiteral("--cells ") + cells
                               : QStringLiteral("--cells-from ") + cellsFrom;
}

namespace {

NumberedLabel firstNumbered(const QString &first, const QString &subcommand)
{
    const auto start = numberedLabel(first);
    if (!start)
        refuseUsage(
            subcommand,
            QStringLiteral("--first-cell takes a label that ends in a number, like A001, not '%1'")
                .arg(first));
    return *start;
}

} // namespace

QStringList labelsFrom(const QString &first, qsizetype count, const QString &subcommand)
{
    const NumberedLabel start = firstNumbered(first, subcommand);
    const qint64 length = start.prefix.size() + std::max<qint64>(start.width, 1);
    if (count > kMostLabelCharacters / length)
        refuseUsage(subcommand,
                    QStringLiteral("--first-cell %1 for %2 readings is too many labels: at "
                                   "most %3 characters of them in all")
                        .arg(first, QString::number(count), QString::number(kMostLabelCharacters)));
    QStringList labels;
    labels.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        labels << numberedLabelText(start, start.number + i);
    return labels;
}

RecordLabels::RecordLabels(const QString &first, const QString &subcommand)
    : numbered_(firstNumbered(first, subcommand))
{ }

QString RecordLabels::at(qsizetype i) const
{
    return numbered_ ? numberedLabelText(*numbered_, numbered_->number + i) : named_.at(i);
}

} // namespace cli
