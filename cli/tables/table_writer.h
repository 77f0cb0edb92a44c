#pragma once

#include "core/append.h"
#include "reading/decimal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringEncoder>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

// Tables as the tool writes them: aligned text for people, CSV (RFC 4180: CR LF line ends,
// fields quoted where they hold a comma, a quote or a line break) and JSON (an array of one
// object a line, `"name": value` pairs apart by ", ").
namespace tables {

enum class Format { Text, Csv, Json };

// How a column's values are written.
enum class Kind {
    Text, // a JSON string; quoted in CSV where needed
    Plain, // a formatted text that needs no quotes or escapes: not searched (debug builds check)
    Number, // an integer or exact decimal, bare; none: JSON null, empty elsewhere
    Flag, // JSON true/false, CSV 1/0, text yes/no
    List, // texts: a JSON array of strings; elsewhere one field, joined by "; "
    Json, // a value already written as JSON by another writer (JSON only)
};

// A text column as wide as its longest value (and its name) and two spaces.
inline constexpr int kFitContent = -1;

struct Column {
    QByteArray name; // UTF-8
    Kind kind = Kind::Text;
    // Text: the characters it takes, padded with spaces (not the last column), or
    // kFitContent: sized by the first kSizingRows rows, which wait until it is known.
    int width = 0;
};

inline constexpr qsizetype kSizingRows = 1000;

// Rows a table, or one row as an object (JSON: no array around it).
enum class Shape { Table, Object };
// A document ends in a line break; a value goes inside another writer's JSON: in an object
// (its rows indented as a document's), or in a row of a table that is itself such a value
// (its rows indented once more).
enum class Place { Document, Value, ValueInRow };

// Writes one table: the header (CSV, text), then each row's fields in column order, then
// finish(). Rows go straight into one buffer that is handed to `flush` in large pieces, or,
// without `flush`, returned whole by finish(): no row is built on its own first.
class Writer {
public:
    using Flush = std::function<void(QByteArrayView)>;

    Writer(Format format, std::vector<Column> columns, Shape shape = Shape::Table,
           Place place = Place::Document, Flush flush = {});

    Writer &text(QByteArrayView utf8);
    Writer &text(QStringView text);
    // A text that many rows repeat (the file a row came from), quoted or escaped once for
    // this writer's format by prepare() rather than looked through again in every row.
    struct Prepared {
        QByteArray field;
    };
    Prepared prepare(QByteArrayView utf8) const;
    [[gnu::always_inline]] Writer &text(const Prepared &text)
    {
        if (format_ != Format::Csv)
            return preparedField(text);
        Q_ASSERT_X(
            column_ < columns_.size()
                && (columns_[column_].kind == Kind::Text || columns_[column_].kind == Kind::Plain),
            "tables::Writer", "a value of another kind");
        char *const start = roomFor(1 + text.field.size());
        *start = ',';
        char *const p = start + (column_ > 0 ? 1 : 0);
        core::detail::copySmall(p, text.field.constData(), text.field.size());
        wrote(p + text.field.size() - start);
        ++column_;
        return *this;
    }
    // A text that `append` appends to the QByteArray it is given, as UTF-8.
    template <typename Append>
    Writer &textBy(Append &&append)
    {
        if (format_ == Format::Csv && columns_[column_].kind == Kind::Plain) {
            // Nothing to quote or pad: the separator and the text, with no calls around it.
            spare_ = 0; // appended to the rows' own buffer
            if (column_ > 0)
                core::appendByte(out_, ',');
            [[maybe_unused]] const qsizetype at = out_.size();
            append(out_);
            Q_ASSERT_X(plain(at), "tables::Writer", "a plain text that needs quotes or escapes");
            ++column_;
            return *this;
        }
        const qsizetype at = beginText();
        append(out_);
        return endText(at);
    }
    // A text of at most `room` bytes that write(char *at) writes at `at`, returning its end:
    // in a plain CSV column, written where the row is written.
    template <typename Write>
    [[gnu::always_inline]] Writer &textAt(qsizetype room, Write &&write)
    {
        if (format_ == Format::Csv && columns_[column_].kind == Kind::Plain) {
            char *const start = roomFor(1 + room);
            *start = ',';
            char *const p = start + (column_ > 0 ? 1 : 0);
            char *const end = write(p);
            wrote(end - start);
            Q_ASSERT_X(plain(out_.size() - (end - p)), "tables::Writer",
                       "a plain text that needs quotes or escapes");
            ++column_;
            return *this;
        }
        const qsizetype at = beginText();
        char *const p = core::roomAtEnd(out_, room);
        core::appended(out_, write(p) - p);
        return endText(at);
    }
    [[gnu::always_inline]] Writer &number(std::int64_t value)
    {
        return number(reading::Decimal{value, 0});
    }
    [[gnu::always_inline]] Writer &number(reading::Decimal value)
    {
        if (format_ != Format::Csv)
            return numberField(value);
        // The separator and the digits in one reserved piece, written where the row is
        // written: a number is never quoted.
        Q_ASSERT_X(column_ < columns_.size() && columns_[column_].kind == Kind::Number,
                   "tables::Writer", "a value of another kind");
        char *const start = roomFor(1 + reading::decimalTextRoom(value));
        *start = ',';
        char *const p = start + (column_ > 0 ? 1 : 0);
        wrote(reading::writeDecimalText(p, value) - start);
        ++column_;
        return *this;
    }
    Writer &number(QByteArrayView literal); // a number already written; empty: none
    Writer &real(double value); // the shortest text that reads back as value; none if not finite
    Writer &none(); // no value in a Number or Text column
    Writer &flag(bool value);
    Writer &list(const QStringList &texts);
    Writer &json(QByteArrayView value);
    [[gnu::always_inline]] void endRow()
    {
        Q_ASSERT_X(column_ == columns_.size(), "tables::Writer", "fewer fields than columns");
        Q_ASSERT_X(shape_ == Shape::Table || rows_ == 0, "tables::Writer", "an object of two rows");
        if (format_ == Format::Csv) {
            std::memcpy(roomFor(2), "\r\n", 2);
            wrote(2);
        } else {
            spare_ = 0;
            core::appendByte(out_, format_ == Format::Json ? '}' : '\n');
        }
        column_ = 0;
        ++rows_;
        if (sizing_ || out_.size() >= kChunk) [[unlikely]]
            afterRows();
    }

    // Ends the table; returns what was not handed to `flush`.
    QByteArray finish();
    qsizetype rows() const { return rows_; }

private:
    Writer &numberField(reading::Decimal value); // JSON, aligned text
    Writer &preparedField(const Prepared &text);
    // Room for n bytes at the end of the rows, to be written in place and counted with
    // wrote(). The room known to be free is kept, so that the fields of a row written one
    // after another are checked against one number rather than the buffer's state each;
    // whatever appends to out_ otherwise sets it to none first.
    [[gnu::always_inline]] char *roomFor(qsizetype n)
    {
        if (n > spare_) [[unlikely]]
            return makeRoom(n);
        QByteArray::DataPointer &d = out_.data_ptr();
        return d.data() + d.size;
    }
    [[gnu::always_inline]] void wrote(qsizetype n)
    {
        core::appended(out_, n);
        spare_ -= n;
    }
    char *makeRoom(qsizetype n);
    qsizetype spare_ = 0;
    // Rows are handed on in pieces of this size: large writes, little memory.
    static constexpr qsizetype kChunk = 1 << 16;
    void afterRows(); // sizes the waiting rows, or hands a piece on
    const char *indent() const;
    bool plain(qsizetype at) const; // whether what stands after `at` needs no quotes or escapes
    void separate();
    qsizetype beginField(Kind kind);
    qsizetype beginText();
    Writer &endText(qsizetype valueStart);
    Writer &endField(qsizetype valueStart);
    void appendUtf8(QStringView text);

    Format format_;
    std::vector<Column> columns_;
    std::vector<QByteArray> prefixes_; // JSON: what comes before each value
    QByteArray firstPrefix_; // and before the first row's first
    Shape shape_;
    Place place_;
    Flush flush_;
    QStringEncoder utf8_{QStringEncoder::Utf8};
    QByteArray out_;
    // Text with columns that fit their content: where each field of the waiting rows ends.
    bool sizing_ = false;
    std::vector<qsizetype> fieldEnds_;
    void writeSized();
    std::size_t column_ = 0;
    qsizetype rows_ = 0;
};

} // namespace tables
