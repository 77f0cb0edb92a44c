#include "cli/tables/table_writer.h"

#include "core/append.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tables {

namespace {

// The bytes that make a CSV field quoted, and those JSON escapes; looked up, since every
// text of every row is checked.
template <typename Special>
constexpr std::array<bool, 256> byteTable(Special special)
{
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[std::size_t(c)] = special(c);
    return table;
}
constexpr auto kCsvSpecial =
    byteTable([](int c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; });
constexpr auto kJsonSpecial = byteTable([](int c) { return c == '"' || c == '\\' || c < 0x20; });
[[maybe_unused]] constexpr auto kPlainBreakers =
    byteTable([](int c) { return c == ',' || c == '"' || c == '\\' || c < 0x20; });

inline bool any(QByteArrayView value, const std::array<bool, 256> &special)
{
    for (char c : value)
        if (special[static_cast<unsigned char>(c)])
            return true;
    return false;
}

// The same questions eight bytes at a time: a text repeated in every row (a file name) is
// checked as often as the row is written. A word holds a zero byte exactly when
// (w - ones) & ~w has a high bit set, and a byte below n (n <= 0x80) when (w - n * ones) & ~w
// has.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = kOnes * 0x80;

inline bool hasZero(std::uint64_t w)
{
    return ((w - kOnes) & ~w & kHighBits) != 0;
}

inline bool hasByte(std::uint64_t w, unsigned char c)
{
    return hasZero(w ^ (kOnes * c));
}

inline std::uint64_t word(const char *p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline bool needsCsvQuotes(QByteArrayView value)
{
    const char *p = value.data(), *const end = p + value.size();
    for (; end - p >= 8; p += 8) {
        const std::uint64_t w = word(p);
        if (hasByte(w, ',') || hasByte(w, '"') || hasByte(w, '\n') || hasByte(w, '\r'))
            return true;
    }
    return any(QByteArrayView(p, end), kCsvSpecial);
}

inline bool needsJsonEscapes(QByteArrayView value)
{
    const char *p = value.data(), *const end = p + value.size();
    for (; end - p >= 8; p += 8) {
        const std::uint64_t w = word(p);
        if (((w - kOnes * 0x20) & ~w & kHighBits) != 0 || hasByte(w, '"') || hasByte(w, '\\'))
            return true;
    }
    return any(QByteArrayView(p, end), kJsonSpecial);
}

// Values are written straight into the buffer and mended there: the copy below is made only
// for the rare value that needs quotes or escapes.
[[gnu::noinline]] void quote(QByteArray &out, qsizetype at)
{
    const QByteArrayView value = QByteArrayView(out).sliced(at);
    QByteArray quoted;
    quoted.reserve(value.size() + 8);
    quoted += '"';
    for (char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    out.resize(at);
    out += quoted;
}

[[gnu::noinline]] void escape(QByteArray &out, qsizetype at)
{
    const QByteArrayView value = QByteArrayView(out).sliced(at);
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray escaped;
    escaped.reserve(value.size() + 16);
    for (char c : value) {
        switch (c) {
        case '"': escaped += "\\\""; break;
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\t': escaped += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                escaped += "\\u00";
                escaped += kHex[(c >> 4) & 0xF];
                escaped += kHex[c & 0xF];
            } else {
                escaped += c;
            }
        }
    }
    out.resize(at);
    out += escaped;
}

inline void quoteCsv(QByteArray &out, qsizetype at)
{
    if (needsCsvQuotes(QByteArrayView(out).sliced(at)))
        quote(out, at);
}

inline void escapeJson(QByteArray &out, qsizetype at)
{
    if (needsJsonEscapes(QByteArrayView(out).sliced(at)))
        escape(out, at);
}

// Pads what stands after `at` to `width` characters (UTF-8: bytes that start a character);
// a value that fills its column still gets one space, so that it never runs into the next.
void pad(QByteArray &out, qsizetype at, int width)
{
    const QByteArrayView value = QByteArrayView(out).sliced(at);
    const auto characters = std::count_if(value.begin(), value.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    out.append(std::max<qsizetype>(width - characters, 1), ' ');
}

} // namespace

Writer::Writer(Format format, std::vector<Column> columns, Shape shape, Place place, Flush flush)
    : format_(format),
      columns_(std::move(columns)),
      shape_(shape),
      place_(place),
      flush_(std::move(flush))
{
    out_.reserve(flush_ ? kChunk + kChunk / 4 : 1024);
    if (format_ == Format::Json) {
        // Each field's separator, key and opening quote in one piece.
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            QByteArray key = "\"" + columns_[i].name;
            escapeJson(key, 1);
            key += "\": ";
            if (columns_[i].kind == Kind::Text || columns_[i].kind == Kind::Plain)
                key += '"';
            if (i > 0)
                prefixes_.push_back(", " + key);
            else if (shape_ == Shape::Object)
                prefixes_.push_back('{' + key), firstPrefix_ = prefixes_.back();
            else
                firstPrefix_ = QByteArray("\n") + indent() + '{' + key,
                prefixes_.push_back(',' + firstPrefix_);
        }
        if (shape_ == Shape::Table)
            out_ += '[';
        return;
    }
    sizing_ = format_ == Format::Text
        && std::any_of(columns_.begin(), columns_.end(),
                       [](const Column &c) { return c.width == kFitContent; });
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (i > 0 && format_ == Format::Csv)
            out_ += ',';
        const qsizetype at = out_.size();
        out_ += columns_[i].name;
        if (format_ == Format::Csv)
            quoteCsv(out_, at);
        else if (sizing_)
            fieldEnds_.push_back(out_.size());
        else if (i + 1 < columns_.size())
            pad(out_, at, columns_[i].width);
    }
    out_ += format_ == Format::Csv ? "\r\n" : "\n";
}

// The header and the rows that waited, now that the widths are known; later rows are
// padded as they come, a longer value still set off by a space.
void Writer::writeSized()
{
    spare_ = 0; // the rows move to a buffer of their own
    sizing_ = false;
    const std::size_t n = columns_.size();
    std::vector<qsizetype> widest(n, 0);
    for (std::size_t f = 0; f < fieldEnds_.size(); ++f) {
        const qsizetype start =
            f % n == 0 ? (f == 0 ? 0 : fieldEnds_[f - 1] + 1) : fieldEnds_[f - 1];
        const QByteArrayView value = QByteArrayView(out_).sliced(start, fieldEnds_[f] - start);
        widest[f % n] = std::max<qsizetype>(
            widest[f % n], std::count_if(value.begin(), value.end(), [](char c) {
                return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            }));
    }
    for (std::size_t i = 0; i < n; ++i)
        if (columns_[i].width == kFitContent)
            columns_[i].width = int(widest[i] + 2);
    QByteArray sized;
    sized.reserve(out_.size() + out_.size() / 2);
    for (std::size_t f = 0; f < fieldEnds_.size(); ++f) {
        const qsizetype start =
            f % n == 0 ? (f == 0 ? 0 : fieldEnds_[f - 1] + 1) : fieldEnds_[f - 1];
        const qsizetype at = sized.size();
        sized += QByteArrayView(out_).sliced(start, fieldEnds_[f] - start);
        if (f % n + 1 < n)
            pad(sized, at, columns_[f % n].width);
        else
            sized += '\n';
    }
    out_ = std::move(sized);
    fieldEnds_ = {};
}

const char *Writer::indent() const
{
    return place_ == Place::ValueInRow ? "    " : "  ";
}

char *Writer::makeRoom(qsizetype n)
{
    char *const p = core::roomAtEnd(out_, n);
    spare_ = out_.data_ptr().freeSpaceAtEnd();
    return p;
}

[[gnu::always_inline]] inline void Writer::separate()
{
    spare_ = 0; // appended to below
    Q_ASSERT_X(column_ < columns_.size(), "tables::Writer", "more fields than columns");
    if (format_ == Format::Json) {
        const QByteArray &prefix = column_ == 0 && rows_ == 0 ? firstPrefix_ : prefixes_[column_];
        core::appendBytes(out_, prefix.constData(), prefix.size());
    } else if (format_ == Format::Csv && column_ > 0) {
        core::appendByte(out_, ',');
    }
}

[[gnu::always_inline]] inline qsizetype Writer::beginField(Kind kind)
{
    Q_ASSERT_X(column_ < columns_.size()
                   && (kind == columns_[column_].kind
                       || (kind == Kind::Text && columns_[column_].kind == Kind::Plain)),
               "tables::Writer", "a value of another kind");
    Q_ASSERT_X(kind != Kind::Json || format_ == Format::Json, "tables::Writer",
               "JSON outside JSON");
    separate();
    return out_.size();
}

[[gnu::always_inline]] inline Writer &Writer::endField(qsizetype valueStart)
{
    const Kind kind = columns_[column_].kind;
    Q_ASSERT_X(kind != Kind::Plain || plain(valueStart), "tables::Writer",
               "a plain text that needs quotes or escapes");
    if (format_ == Format::Json) {
        if (kind == Kind::Text)
            escapeJson(out_, valueStart);
        if (kind == Kind::Text || kind == Kind::Plain)
            core::appendByte(out_, '"');
    } else if (format_ == Format::Csv) {
        if (kind == Kind::Text || kind == Kind::List)
            quoteCsv(out_, valueStart);
    } else if (sizing_) {
        fieldEnds_.push_back(out_.size());
    } else if (column_ + 1 < columns_.size()) {
        pad(out_, valueStart, columns_[column_].width);
    }
    ++column_;
    return *this;
}

bool Writer::plain(qsizetype at) const
{
    return !any(QByteArrayView(out_).sliced(at), kPlainBreakers);
}

qsizetype Writer::beginText()
{
    return beginField(Kind::Text);
}

Writer &Writer::endText(qsizetype valueStart)
{
    return endField(valueStart);
}

void Writer::appendUtf8(QStringView text)
{
    const qsizetype at = out_.size();
    out_.resize(at + utf8_.requiredSpace(text.size()));
    char *end = utf8_.appendToBuffer(out_.data() + at, text);
    out_.resize(end - out_.constData());
}

Writer &Writer::text(QByteArrayView utf8)
{
    const qsizetype at = beginField(Kind::Text);
    core::appendBytes(out_, utf8.data(), utf8.size());
    return endField(at);
}

Writer::Prepared Writer::prepare(QByteArrayView utf8) const
{
    Prepared p{utf8.toByteArray()};
    if (format_ == Format::Csv)
        quoteCsv(p.field, 0);
    else if (format_ == Format::Json)
        escapeJson(p.field, 0);
    return p;
}

Writer &Writer::preparedField(const Prepared &text)
{
    const qsizetype at = beginField(Kind::Text);
    core::appendBytes(out_, text.field.constData(), text.field.size());
    if (format_ == Format::Text)
        return endField(at); // padded as it comes
    if (format_ == Format::Json)
        core::appendByte(out_, '"');
    ++column_;
    return *this;
}

Writer &Writer::text(QStringView text)
{
    const qsizetype at = beginField(Kind::Text);
    appendUtf8(text);
    return endField(at);
}

Writer &Writer::numberField(reading::Decimal value)
{
    const qsizetype at = beginField(Kind::Number);
    reading::appendDecimalText(out_, value);
    return endField(at);
}

Writer &Writer::number(QByteArrayView literal)
{
    if (literal.isEmpty())
        return none();
    const qsizetype at = beginField(Kind::Number);
    out_ += literal;
    return endField(at);
}

Writer &Writer::real(double value)
{
    if (!std::isfinite(value))
        return none();
    const qsizetype at = beginField(Kind::Number);
    out_ += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    return endField(at);
}

Writer &Writer::none()
{
    if (format_ != Format::Json)
        return endField(beginField(columns_[column_].kind));
    separate();
    if (columns_[column_].kind == Kind::Text || columns_[column_].kind == Kind::Plain)
        out_.chop(1); // null, not the empty string
    out_ += "null";
    ++column_;
    return *this;
}

Writer &Writer::flag(bool value)
{
    const qsizetype at = beginField(Kind::Flag);
    out_ += format_ == Format::Json ? (value ? "true" : "false")
        : format_ == Format::Csv    ? (value ? "1" : "0")
                                    : (value ? "yes" : "no");
    return endField(at);
}

Writer &Writer::list(const QStringList &texts)
{
    const qsizetype at = beginField(Kind::List);
    if (format_ == Format::Json)
        out_ += '[';
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out_ += format_ == Format::Json ? ", " : "; ";
        if (format_ == Format::Json) {
            out_ += '"';
            const qsizetype item = out_.size();
            appendUtf8(texts[i]);
            escapeJson(out_, item);
            out_ += '"';
        } else {
            appendUtf8(texts[i]);
        }
    }
    if (format_ == Format::Json)
        out_ += ']';
    return endField(at);
}

Writer &Writer::json(QByteArrayView value)
{
    const qsizetype at = beginField(Kind::Json);
    out_ += value;
    return endField(at);
}

void Writer::afterRows()
{
    if (sizing_ && rows_ >= kSizingRows)
        writeSized();
    if (flush_ && !sizing_ && out_.size() >= kChunk) {
        flush_(out_);
        out_.resize(0); // keeps the allocation
        spare_ = 0;
    }
}

QByteArray Writer::finish()
{
    spare_ = 0;
    if (sizing_)
        writeSized();
    if (format_ == Format::Json) {
        if (shape_ == Shape::Table)
            out_ += rows_ > 0 ? (place_ == Place::ValueInRow ? "\n  ]" : "\n]") : "]";
        if (place_ == Place::Document)
            out_ += '\n';
    }
    if (!flush_)
        return std::move(out_);
    if (!out_.isEmpty())
        flush_(out_);
    out_.resize(0);
    return {};
}

} // namespace tables
