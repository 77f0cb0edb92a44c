#include "cellregister/capacity_file.h"

#include <QHash>

#include <algorithm>

#include <optional>
#include <variant>

namespace cellregister {

namespace {

enum class Unit { None, MilliampHours, AmpHours };

// The fields of one line: quotes around a field keep separators in it.
QStringList fields(QStringView line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
                field += c, ++i;
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            out << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.trimmed();
    return out;
}

// Letters and digits only, lower case: "Capacity (mAh)" is "capacitymah".
QString squeezed(QStringView text)
{
    QString out;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            out += c.toLower();
    return out;
}

Unit unitAtEnd(const QString &squeezedText)
{
    if (squeezedText.endsWith(u"mah"))
        return Unit::MilliampHours;
    if (squeezedText.endsWith(u"ah"))
        return Unit::AmpHours;
    return Unit::None;
}

// A header's name as the lists hold it: without a unit in brackets, and squeezed.
QString columnName(QStringView header)
{
    const qsizetype bracket =
        header.indexOf(u'(') >= 0 ? header.indexOf(u'(') : header.indexOf(u'[');
    return squeezed(bracket > 0 ? header.first(bracket) : header);
}

qsizetype findColumn(const QStringList &header, const QString &asked, const QStringList &usual,
                     qsizetype other)
{
    const auto matches = [&](qsizetype i, const QString &name) {
        return i != other && (columnName(header[i]) == name || squeezed(header[i]) == name);
    };
    if (!asked.isEmpty()) {
        for (qsizetype i = 0; i < header.size(); ++i)
            if (matches(i, squeezed(asked)))
                return i;
        return -1;
    }
    for (const QString &name : usual)
        for (qsizetype i = 0; i < header.size(); ++i)
            if (matches(i, name))
                return i;
    return -1;
}

bool isThousandsSpace(QChar c)
{
    return c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F) || c == u'\'';
}

// The words a charger's or spreadsheet's summary row starts with, squeezed.
bool namesSummary(const QString &field)
{
    static const QStringList words = {"average", "avg",  "mean",   "total", "sum",
                                      "totals",  "平均", "平均值", "合计",  "总计"};
    return words.contains(squeezed(field));
}

// The mark that starts the decimals of a value written as a number, where the value alone
// shows it: both marks ("1.522,4": the last), one mark followed by other than three digits
// ("2480,5", "2.45"), or after more than three digits or a lone zero ("2480.123", "0,522").
// Null where the value does not tell ("1.522", "2480").
QChar decimalMarkShown(QStringView field)
{
    qsizetype dots = 0, commas = 0, last = -1;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == u'.' || field[i] == u',') {
            (field[i] == u'.' ? dots : commas) += 1;
            last = i;
        }
    }
    if (dots > 0 && commas > 0)
        return field[last];
    if (dots + commas != 1)
        return {};
    qsizetype after = 0, before = 0;
    for (qsizetype i = last + 1; i < field.size() && field[i].isDigit(); ++i)
        ++after;
    for (qsizetype i = last; i > 0 && field[i - 1].isDigit(); --i)
        ++before;
    const bool loneZero = before == 1 && field[last - 1] == u'0';
    return after != 3 || before > 3 || loneZero ? field[last] : QChar();
}

// A capacity in µAh, or the kind of problem it is. `fileDecimal` is the mark the file's other
// values start their decimals with, or null where they do not agree or do not tell.
std::variant<std::int64_t, CapacityProblem::Kind> capacityOf(QStringView field, Unit columnUnit,
                                                             QChar fileDecimal)
{
    QString text = field.trimmed().toString();
    Unit unit = columnUnit;
    {
        const QString lower = text.toLower();
        if (lower.endsWith(u"mah")) {
            unit = Unit::MilliampHours;
            text.chop(3);
        } else if (lower.endsWith(u"ah")) {
            unit = Unit::AmpHours;
            text.chop(2);
        }
        text = text.trimmed();
    }
    if (unit == Unit::None)
        unit = Unit::MilliampHours;
    if (text.isEmpty() || !text.front().isDigit() || !text.back().isDigit())
        return CapacityProblem::NotACapacity;
    // Where the marks are, and which of '.' and ',' starts the decimals.
    qsizetype dots = 0, commas = 0, lastDot = -1, lastComma = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.')
            ++dots, lastDot = i;
        else if (c == u',')
            ++commas, lastComma = i;
        else if (!c.isDigit() && !isThousandsSpace(c))
            return CapacityProblem::NotACapacity;
    }
    qsizetype decimal = -1; // the decimal mark's place
    if (dots > 0 && commas > 0) {
        decimal = std::max(lastDot, lastComma);
        if ((decimal == lastDot ? dots : commas) != 1)
            return CapacityProblem::NotACapacity;
    } else if (dots + commas == 1) {
        decimal = std::max(lastDot, lastComma);
    }
    const QChar decimalMark = decimal >= 0 ? text[decimal] : QChar();
    // The groups the thousands marks make must be of three digits, the first of one to three.
    QString whole, fraction;
    qsizetype groupDigits = 0;
    bool grouped = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (i == decimal) {
            fraction = text.mid(i + 1);
            break;
        }
        if (c.isDigit()) {
            whole += c;
            ++groupDigits;
            continue;
        }
        if (c == decimalMark && decimal >= 0)
            return CapacityProblem::NotACapacity; // two decimal marks
        if ((grouped && groupDigits != 3) || (!grouped && (groupDigits < 1 || groupDigits > 3)))
            return CapacityProblem::NotACapacity;
        grouped = true;
        groupDigits = 0;
    }
    if (grouped && groupDigits != 3)
        return CapacityProblem::NotACapacity;
    for (const QChar c : fraction)
        if (!c.isDigit())
            return CapacityProblem::NotACapacity;
    // "1,522" or "1.522" of mAh: a thousands mark or the start of decimals? The file's other
    // values decide; alone it is refused.
    if (!grouped && dots + commas == 1 && fraction.size() == 3 && whole.size() <= 3 && whole != u"0"
        && unit == Unit::MilliampHours) {
        if (fileDecimal.isNull())
            return CapacityProblem::Ambiguous;
        if (fileDecimal != decimalMark) {
            whole += fraction;
            fraction.clear();
        }
    }
    const int places = unit == Unit::AmpHours ? 6 : 3;
    while (fraction.size() > places && fraction.endsWith(u'0'))
        fraction.chop(1);
    if (fraction.size() > places || whole.size() > 12 - places)
        return CapacityProblem::NotACapacity;
    std::int64_t value = 0;
    for (const QChar c : whole + fraction.leftJustified(places, u'0'))
        value = value * 10 + c.digitValue();
    return value; // whole units and `places` decimals: µAh either way
}

} // namespace

CapacityFile readCapacityFile(QStringView text, const CapacityFileOptions &options)
{
    CapacityFile file;
    if (text.startsWith(QChar(0xFEFF)))
        text = text.mid(1);
    // Lines end in CR LF, LF or CR.
    std::vector<QStringView> lines;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        lines.push_back(text.sliced(start, end - start));
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
    std::size_t headerAt = 0;
    while (headerAt < lines.size() && lines[headerAt].trimmed().isEmpty())
        ++headerAt;
    if (headerAt == lines.size()) {
        file.problems.push_back({CapacityProblem::NoHeader, 1, {}, 0});
        return file;
    }
    const QStringView headerLine = lines[headerAt];
    const QChar separator = headerLine.contains(u';') ? u';'
        : headerLine.contains(u'\t')                  ? u'\t'
                                                      : u',';
    const QStringList header = fields(headerLine, separator);
    const int headerNumber = int(headerAt + 1);
    const qsizetype labelColumn = findColumn(header, options.labelColumn, kLabelColumns, -1);
    const qsizetype capacityColumn =
        findColumn(header, options.capacityColumn, kCapacityColumns, labelColumn);
    if (labelColumn < 0)
        file.problems.push_back(
            {CapacityProblem::NoLabelColumn, headerNumber, options.labelColumn});
    if (capacityColumn < 0)
        file.problems.push_back(
            {CapacityProblem::NoCapacityColumn, headerNumber, options.capacityColumn});
    if (!file.problems.empty())
        return file;
    file.labelColumn = header[labelColumn];
    file.capacityColumn = header[capacityColumn];
    const Unit columnUnit = unitAtEnd(squeezed(header[capacityColumn]));

    // Every line's fields; the decimal mark the values agree on; where the cells end.
    std::vector<QStringList> split(lines.size());
    bool commaDecimals = false, dotDecimals = false;
    std::size_t lastCell = headerAt;
    for (std::size_t i = headerAt + 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        split[i] = fields(lines[i], separator);
        const QChar mark = decimalMarkShown(split[i].value(capacityColumn));
        commaDecimals = commaDecimals || mark == u',';
        dotDecimals = dotDecimals || mark == u'.';
        const QString label = split[i].value(labelColumn);
        const bool summary = (label.isEmpty() || namesSummary(label))
            && std::any_of(split[i].begin(), split[i].end(), namesSummary);
        if (!summary)
            lastCell = i;
    }
    const QChar fileDecimal = commaDecimals == dotDecimals ? QChar()
        : commaDecimals                                    ? QChar(u',')
                                                           : QChar(u'.');

    QHash<QString, std::size_t> rowOf; // by the label without case
    for (std::size_t i = headerAt + 1; i < lines.size(); ++i) {
        const int number = int(i + 1);
        if (lines[i].trimmed().isEmpty())
            continue;
        const QStringList &f = split[i];
        if (i > lastCell) {
            const auto word = std::find_if(f.begin(), f.end(), namesSummary);
            file.summaryLines.emplace_back(number, *word);
            continue;
        }
        // A decimal comma of a comma-separated file, unquoted, splits its value in two.
        if (f.size() > header.size()) {
            file.problems.push_back({CapacityProblem::TooManyFields, number, lines[i].toString()});
            continue;
        }
        const QString label = f.value(labelColumn);
        const QString value = f.value(capacityColumn);
        if (value.isEmpty()) {
            if (!label.isEmpty())
                ++file.blankValues;
            continue;
        }
        if (label.isEmpty()) {
            file.problems.push_back({CapacityProblem::NoLabel, number, {}, 0});
            continue;
        }
        const auto capacity = capacityOf(value, columnUnit, fileDecimal);
        if (const auto *kind = std::get_if<CapacityProblem::Kind>(&capacity)) {
            file.problems.push_back({*kind, number, value});
            continue;
        }
        const std::int64_t uah = std::get<std::int64_t>(capacity);
        const QString key = label.toCaseFolded();
        if (const auto it = rowOf.constFind(key); it != rowOf.constEnd()) {
            CapacityRow &first = file.rows[*it];
            if (options.repeated == RepeatedLabel::Refuse)
                file.problems.push_back({CapacityProblem::Repeated, number, label, first.line});
            else
                first = {label, uah, number};
            continue;
        }
        rowOf.insert(key, file.rows.size());
        file.rows.push_back({label, uah, number});
    }
    return file;
}

} // namespace cellregister
