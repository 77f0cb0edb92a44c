#include "cli/cell_labels.h"

#include "cli/options/options.h"

#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace cli {

namespace {

constexpr qsizetype kMostLabels = 10'000'000;
// The labels' characters all told: 10 million labels of 13 characters, far more than any
// bench measures. Long labels run out first, and the memory a list of them takes (two bytes a
// character and a few dozen a label) stays well below what a computer has, whatever the
// prefix.
constexpr qint64 kMostLabelCharacters = qint64(128) * 1024 * 1024;

struct Numbered {
    QString prefix;
    qint64 number = 0;
    qsizetype width = 0;
};

std::optional<Numbered> numbered(const QString &label)
{
    static const QRegularExpression shape(QStringLiteral("^(.*?)([0-9]{1,15})$"));
    const QRegularExpressionMatch m = shape.match(label);
    if (!m.hasMatch() || label.contains(u"..") || label.trimmed() != label)
        return std::nullopt;
    return Numbered{m.captured(1), m.captured(2).toLongLong(), m.captured(2).size()};
}

// Refuses `count` labels the first of which is `first`, when together they would be more text
// than the tool holds.
void checkTotalSize(const QString &option, const QString &given, qint64 count,
                    const Numbered &first, const QString &subcommand)
{
    const qint64 length = first.prefix.size() + std::max<qint64>(first.width, 1);
    if (count <= kMostLabelCharacters / length)
        return;
    refuseUsage(subcommand,
                QStringLiteral("%1 %2 is too large a range: %3 labels of %4 characters; the labels "
                               "may take at most %5 characters in all")
                    .arg(option, given, QString::number(count), QString::number(length),
                         QString::number(kMostLabelCharacters)));
}

// Written in place: a record numbers as many labels as it has readings.
QString labelOf(const Numbered &n, qint64 number)
{
    char digits[20]; // the lowest first
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    const qsizetype width = std::max<qsizetype>(count, n.width);
    QString text(n.prefix.size() + width, Qt::Uninitialized);
    QChar *out = std::copy(n.prefix.cbegin(), n.prefix.cend(), text.data());
    for (qsizetype place = width - 1; place >= 0; --place)
        *out++ = QLatin1Char(place < count ? digits[place] : '0');
    return text;
}

} // namespace

QString LabelNumbering::at(qsizetype i) const
{
    return labelOf(Numbered{prefix_, 0, width_}, first_ + i);
}

bool LabelNumbering::keepsWidth(qsizetype i) const
{
    qint64 limit = 1; // numbers have at most 15 digits
    for (qsizetype d = 0; d < width_; ++d)
        limit *= 10;
    return first_ + i < limit;
}

LabelNumbering numberRange(const QString &range, const QString &subcommand)
{
    const QStringList ends = range.split(QStringLiteral(".."));
    const auto from = ends.size() <= 2 ? numbered(ends.front()) : std::nullopt;
    const auto to = ends.size() <= 2 ? numbered(ends.back()) : std::nullopt;
    if (!from || !to || from->prefix != to->prefix || from->width != to->width)
        refuseUsage(subcommand,
                    QStringLiteral(
                        "--cells takes labels like A001..A020 (one prefix, numbers of one width), "
                        "not '%1'")
                        .arg(range));
    if (to->number < from->number)
        refuseUsage(subcommand, QStringLiteral("--cells %1 runs backwards").arg(range));
    if (to->number - from->number >= kMostLabels)
        refuseUsage(subcommand,
                    QStringLiteral("--cells %1 names more than %2 cells")
                        .arg(range, QString::number(kMostLabels)));
    return LabelNumbering(from->prefix, from->number, from->width, to->number - from->number + 1);
}

LabelNumbering numberFrom(const QString &first, const QString &subcommand)
{
    const auto start = numbered(first);
    if (!start)
        refuseUsage(
            subcommand,
            QStringLiteral("--first-cell takes a label that ends in a number, like A001, not '%1'")
                .arg(first));
    return LabelNumbering(start->prefix, start->number, start->width, -1);
}

QStringList labelRange(const QString &range, const QString &subcommand)
{
    const LabelNumbering labels = numberRange(range, subcommand);
    checkTotalSize(QStringLiteral("--cells"), range, labels.count(),
                   *numbered(range.split(QStringLiteral("..")).front()), subcommand);
    QStringList list;
    list.reserve(labels.count());
    for (qsizetype i = 0; i < labels.count(); ++i)
        list << labels.at(i);
    return list;
}

QStringList labelsFrom(const QString &first, qsizetype count, const QString &subcommand)
{
    const LabelNumbering labels = numberFrom(first, subcommand);
    checkTotalSize(QStringLiteral("--first-cell"), first, count, *numbered(first), subcommand);
    QStringList list;
    list.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        list << labels.at(i);
    return list;
}

} // namespace cli
