#include "cli/options/cell_list.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>

namespace cli {

namespace {

// Collects labels and problems. A repeated label is found by its case-folded text, since the
// register finds a cell by a label in any case; a range's labels, which differ by their
// numbers, are compared as a range, so that millions of them take no more than their list.
class Collector {
public:
    LabelList list;

    void problem(LabelFault fault, int place, QStringView text, int firstPlace = 0)
    {
        list.problems.push_back({fault, place, text.toString(), firstPlace});
    }

    // Whether `count` more labels of at least `length` characters stay within the limits.
    bool fits(qint64 count, qint64 length) const
    {
        return count <= kMostLabels - list.labels.size()
            && count <= (kMostLabelCharacters - characters_) / std::max<qint64>(length, 1);
    }

    // A label named on its own; false once the labels would grow past the limits.
    bool add(const QString &label, int place)
    {
        if (!fits(1, label.size())) {
            problem(LabelFault::TooMany, place, label);
            return false;
        }
        characters_ += label.size();
        const QString key = label.toCaseFolded();
        int first = singles_.value(key, 0);
        if (const auto n = first ? std::nullopt : numberedLabel(key))
            for (const Range &r : ranges_)
                if (r.holds(*n)) {
                    first = r.place;
                    break;
                }
        if (first)
            problem(LabelFault::Repeated, place, label, first);
        else
            singles_.insert(key, place);
        list.labels << label;
        return true;
    }

    // The labels of from..to, which fit the limits.
    void addRange(const NumberedLabel &from, qint64 to, int place)
    {
        const Range range{{from.prefix.toCaseFolded(), from.number, from.width}, to, place};
        std::vector<std::pair<int, qint64>> earlier; // labels named on their own before
        for (auto s = singles_.cbegin(); s != singles_.cend(); ++s)
            if (const auto n = numberedLabel(s.key()); n && range.holds(*n))
                earlier.emplace_back(s.value(), n->number);
        std::sort(earlier.begin(), earlier.end());
        for (const auto &[first, number] : earlier)
            problem(LabelFault::Repeated, place, numberedLabelText(from, number), first);
        for (const Range &r : ranges_) {
            if (r.from.prefix != range.from.prefix || r.from.width != range.from.width)
                continue;
            const qint64 low = std::max(r.from.number, from.number);
            const qint64 high = std::min(r.to, to);
            if (low <= high)
                problem(LabelFault::Repeated, place,
                        low == high ? numberedLabelText(from, low)
                                    : numberedLabelText(from, low) + QStringLiteral("..")
                                + numberedLabelText(from, high),
                        r.place);
        }
        ranges_.push_back(range);
        characters_ += (to - from.number + 1) * (from.prefix.size() + from.width);
        list.labels.reserve(list.labels.size() + (to - from.number + 1));
        for (qint64 n = from.number; n <= to; ++n)
            list.labels << numberedLabelText(from, n);
    }

    LabelList finish()
    {
        if (list.labels.isEmpty() && list.problems.empty())
            problem(LabelFault::NoLabels, 0, {});
        if (!list.problems.empty())
            list.labels.clear();
        return std::move(list);
    }

private:
    struct Range {
        NumberedLabel from; // its prefix case-folded
        qint64 to = 0;
        int place = 0;
        bool holds(const NumberedLabel &n) const
        {
            return n.prefix == from.prefix && n.width == from.width && n.number >= from.number
                && n.number <= to;
        }
    };
    qint64 characters_ = 0;
    QHash<QString, int> singles_; // by case-folded label: where it was named
    std::vector<Range> ranges_;
};

bool hasControl(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        // Invisible format characters too: a label must read as it is written.
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c == QChar::ReplacementCharacter;
    });
}

// False when the limits are reached.
bool addItem(Collector &c, QStringView item, int place)
{
    if (item.isEmpty()) {
        c.problem(LabelFault::Empty, place, item);
        return true;
    }
    if (hasControl(item)) {
        c.problem(LabelFault::NotText, place, item);
        return true;
    }
    if (!item.contains(u"..")) // any label at all, numbered or not
        return c.add(item.toString(), place);
    const qsizetype dots = item.indexOf(u"..");
    const auto from = numberedLabel(item.first(dots));
    const auto to = numberedLabel(item.sliced(dots + 2));
    if (!from || !to || from->prefix != to->prefix || from->width != to->width) {
        c.problem(LabelFault::BadRange, place, item);
        return true;
    }
    if (to->number < from->number) {
        c.problem(LabelFault::Backwards, place, item);
        return true;
    }
    if (!c.fits(to->number - from->number + 1, from->prefix.size() + from->width)) {
        c.problem(LabelFault::TooMany, place, item);
        return false;
    }
    c.addRange(*from, to->number, place);
    return true;
}

} // namespace

std::optional<NumberedLabel> numberedLabel(QStringView label)
{
    qsizetype digits = 0;
    while (digits < label.size() && label[label.size() - 1 - digits].isDigit()
           && label[label.size() - 1 - digits].unicode() < 0x80)
        ++digits;
    if (digits == 0 || label.contains(u"..") || label.trimmed() != label)
        return std::nullopt;
    digits = std::min<qsizetype>(digits, 15); // the digits before those are the prefix's
    const QStringView number = label.last(digits);
    return NumberedLabel{label.first(label.size() - digits).toString(), number.toLongLong(),
                         digits};
}

QString numberedLabelText(const NumberedLabel &n, qint64 number)
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

LabelList parseLabelList(QStringView text)
{
    Collector c;
    int place = 0;
    for (QStringView item : text.tokenize(u',')) {
        if (!addItem(c, item.trimmed(), ++place))
            break;
    }
    return c.finish();
}

LabelList parseLabelFile(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    Collector c;
    int line = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = at;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const QByteArrayView raw = bytes.sliced(at, end - at);
        at = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
        ++line;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8.decode(raw);
        // Files joined one after another keep each one's byte order mark.
        const QString label =
            (decoded.trimmed().startsWith(QChar::ByteOrderMark) ? decoded.trimmed().sliced(1)
                                                                : decoded)
                .trimmed();
        if (utf8.hasError() || hasControl(label)) {
            c.problem(LabelFault::NotText, line, label);
            continue;
        }
        if (!label.isEmpty() && !c.add(label, line))
            break;
    }
    return c.finish();
}

} // namespace cli
