// The tool's table writer on its own: awkward values through each format against the bytes
// written out by hand, and any texts read back from CSV and JSON as they went in.
#include "cli/tables/table_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

using tables::Format;
using tables::Kind;

namespace {

// RFC 4180 read back: records of fields, quoted fields holding commas, quotes and breaks.
QList<QStringList> parseCsv(const QByteArray &csv)
{
    QList<QStringList> records{{}};
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
                field += csv[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back() << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
            records.back() << QString::fromUtf8(field);
            field.clear();
            records.append(QStringList());
            ++i;
        } else {
            field += c;
        }
    }
    records.removeLast(); // after the last line end
    return records;
}

QByteArray awkwardTable(Format format)
{
    tables::Writer t(format,
                     {{"name", Kind::Text, 8},
                      {"mΩ", Kind::Number, 6},
                      {"ok", Kind::Flag, 4},
                      {"tags", Kind::List}});
    // Prepared texts come out as the same texts written in place.
    t.text(t.prepare("a,b")).number(reading::Decimal{567, 5}).flag(true).list({"x", "y"});
    t.endRow();
    t.text(QStringLiteral("say \"hi\"")).none().flag(false).list({}).endRow();
    t.text(t.prepare("two\nlines\t\x01"))
        .number(reading::Decimal{-1250, 3})
        .flag(true)
        .list({"q\"t"});
    t.endRow();
    t.text(QStringLiteral("Ωµü")).number(QByteArrayView("1e-3")).flag(false);
    t.list({"a,b", QStringLiteral("ü")}).endRow();
    t.text("").number(0).flag(true).list({""}).endRow();
    return t.finish();
}

} // namespace

class TestTableWriter : public QObject {
    Q_OBJECT
private slots:
    void awkwardValues_data();
    void awkwardValues();
    void objectAroundTable();
    void textsReadBack();
    void specialByteAnywhere();
    void fittedColumnsLineUp();
};

void TestTableWriter::awkwardValues_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("csv") << Format::Csv
                         << QByteArray("name,mΩ,ok,tags\r\n"
                                       "\"a,b\",0.00567,1,x; y\r\n"
                                       "\"say \"\"hi\"\"\",,0,\r\n"
                                       "\"two\nlines\t\x01\",-1.25,1,\"q\"\"t\"\r\n"
                                       "Ωµü,1e-3,0,\"a,b; ü\"\r\n"
                                       ",0,1,\r\n");
    QTest::newRow("json") << Format::Json
                          << QByteArray("[\n"
                                        "  {\"name\": \"a,b\", \"mΩ\": 0.00567, \"ok\": true, "
                                        "\"tags\": [\"x\", \"y\"]},\n"
                                        "  {\"name\": \"say \\\"hi\\\"\", \"mΩ\": null, \"ok\": "
                                        "false, \"tags\": []},\n"
                                        "  {\"name\": \"two\\nlines\\t\\u0001\", \"mΩ\": -1.25, "
                                        "\"ok\": true, \"tags\": [\"q\\\"t\"]},\n"
                                        "  {\"name\": \"Ωµü\", \"mΩ\": 1e-3, \"ok\": false, "
                                        "\"tags\": [\"a,b\", \"ü\"]},\n"
                                        "  {\"name\": \"\", \"mΩ\": 0, \"ok\": true, \"tags\": "
                                        "[\"\"]}\n"
                                        "]\n");
    // Columns padded by characters, not bytes; a value as wide as its column still gets a
    // space after it.
    QTest::newRow("text") << Format::Text
                          << QByteArray("name    mΩ    ok  tags\n"
                                        "a,b     0.00567 yes x; y\n"
                                        "say \"hi\"       no  \n"
                                        "two\nlines\t\x01 -1.25 yes q\"t\n"
                                        "Ωµü     1e-3  no  a,b; ü\n"
                                        "        0     yes \n");
}

void TestTableWriter::awkwardValues()
{
    QFETCH(Format, format);
    QFETCH(QByteArray, expected);
    QCOMPARE(awkwardTable(format), expected);
}

// A document that holds tables: one row as an object, a table inside it, empty or not, and
// numbers a double gives (not a number: null, which JSON has in its place).
void TestTableWriter::objectAroundTable()
{
    const auto inner = [](int rows) {
        tables::Writer t(Format::Json, {{"k", Kind::Text}}, tables::Shape::Table,
                         tables::Place::Value);
        for (int i = 0; i < rows; ++i)
            t.text("v").endRow();
        return t.finish();
    };
    tables::Writer object(Format::Json,
                          {{"n", Kind::Number},
                           {"r", Kind::Number},
                           {"nan", Kind::Number},
                           {"empty", Kind::Json},
                           {"rows", Kind::Json}},
                          tables::Shape::Object);
    object.number(2).real(0.1).real(std::nan("")).json(inner(0)).json(inner(2)).endRow();
    QCOMPARE(object.finish(),
             "{\"n\": 2, \"r\": 0.1, \"nan\": null, \"empty\": [], \"rows\": [\n"
             "  {\"k\": \"v\"},\n  {\"k\": \"v\"}\n]}\n");
}

// Random texts of the characters formats treat specially, enough rows to be handed on in
// several pieces, a number written in place between them and now and then a plain text
// longer than all the rows before it, which leaves the buffer full (a field written past
// its end shows under the address sanitizer): CSV and JSON give back every text, and the pieces
// join to what the writer gives when it keeps everything.
void TestTableWriter::textsReadBack()
{
    QRandomGenerator random(7);
    const QStringList alphabet{"a", ",", "\"", "\n", "\r", "\r\n", " ", "\t", "\x01", "Ω", "\\"};
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i) {
        QStringList row;
        for (int c = 0; c < 2; ++c) {
            QString text(i % 700 == 1 ? 40'000 : 0, u'a');
            for (int n = text.isEmpty() ? random.bounded(30) : 0; n > 0; --n)
                text += alphabet[random.bounded(int(alphabet.size()))];
            row << text;
        }
        rows << row;
    }
    for (const Format format : {Format::Csv, Format::Json}) {
        QByteArray pieces;
        int flushes = 0;
        const auto write = [&](tables::Writer &t) {
            for (qsizetype i = 0; i < rows.size(); ++i)
                t.text(rows[i][0].toUtf8()).number(i).text(rows[i][1]).endRow();
            return t.finish();
        };
        const std::vector<tables::Column> columns{
            {"one", Kind::Text}, {"n", Kind::Number}, {"two", Kind::Text}};
        tables::Writer flushed(format, columns, tables::Shape::Table, tables::Place::Document,
                               [&](QByteArrayView b) { pieces += b, ++flushes; });
        QVERIFY(write(flushed).isEmpty());
        tables::Writer whole(format, columns);
        QCOMPARE(pieces, write(whole));
        QVERIFY(flushes > 1);

        QList<QStringList> back;
        if (format == Format::Csv) {
            back = parseCsv(pieces);
            QCOMPARE(back.takeFirst(), QStringList({"one", "n", "two"}));
        } else {
            QJsonParseError error;
            const QJsonArray array = QJsonDocument::fromJson(pieces, &error).array();
            QCOMPARE(error.error, QJsonParseError::NoError);
            for (const QJsonValue &v : array)
                back << QStringList{v["one"].toString(), QString::number(v["n"].toInt()),
                                    v["two"].toString()};
        }
        QCOMPARE(back.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(back[i], QStringList({rows[i][0], QString::number(i), rows[i][1]}));
    }
}

// Every byte, at each place of a text that is checked a word at a time and at the tail that
// is not: quoted (CSV) or escaped (JSON) exactly when that byte asks for it, whatever its
// neighbours in the word.
void TestTableWriter::specialByteAnywhere()
{
    for (const Format format : {Format::Csv, Format::Json}) {
        for (int c = 1; c < 256; ++c) {
            const bool special = format == Format::Csv
                ? c == ',' || c == '"' || c == '\n' || c == '\r'
                : c == '"' || c == '\\' || c < 0x20;
            for (const int at : {0, 3, 7, 8, 15, 16}) {
                // Around a special byte plain letters; a plain byte fills every lane itself.
                QByteArray text(17, special ? 'a' : char(c));
                text[at] = char(c);
                tables::Writer t(format, {{"v", Kind::Text}}, tables::Shape::Object);
                t.text(text).endRow();
                const QByteArray written = t.finish();
                const bool marked =
                    format == Format::Csv ? written.contains("\r\n\"") : written.contains('\\');
                if (marked != special)
                    QFAIL(qPrintable(QStringLiteral("byte %1 at %2").arg(c).arg(at)));
            }
        }
    }
}

// Text columns sized to their content: within the rows that size them every column starts
// where its name does, and no value ever runs into the next one, after them either.
void TestTableWriter::fittedColumnsLineUp()
{
    QRandomGenerator random(11);
    for (const qsizetype count : {qsizetype(0), qsizetype(3), tables::kSizingRows + 200}) {
        QList<QStringList> rows;
        for (qsizetype i = 0; i < count; ++i) {
            QStringList row;
            for (int c = 0; c < 3; ++c)
                row << QString(random.bounded(i < tables::kSizingRows ? 14 : 30),
                               c == 1 ? QChar(u'Ω') : QChar(u'x'));
            rows << row;
        }
        QByteArray pieces;
        tables::Writer t(Format::Text,
                         {{"label", Kind::Text, tables::kFitContent},
                          {"mΩ", Kind::Text, tables::kFitContent},
                          {"pack", Kind::Text}},
                         tables::Shape::Table, tables::Place::Document,
                         [&](QByteArrayView b) { pieces += b; });
        for (const QStringList &row : std::as_const(rows))
            t.text(row[0]).text(row[1]).text(row[2]).endRow();
        t.finish();
        const QStringList lines = QString::fromUtf8(pieces).split(u'\n');
        QCOMPARE(lines.size(), count + 2); // the header, the rows, after the last line end
        const qsizetype second = lines[0].indexOf(u"mΩ"), third = lines[0].indexOf(u"pack");
        for (qsizetype i = 0; i < count; ++i) {
            const QString &line = lines[i + 1];
            const QStringList &row = rows[i];
            QVERIFY(line.startsWith(row[0] + u' '));
            if (i < tables::kSizingRows) {
                QCOMPARE(line.mid(second, row[1].size()), row[1]);
                QCOMPARE(line.mid(third), row[2]);
                QVERIFY(second >= row[0].size() + 2 && third - second >= row[1].size() + 2);
            } else {
                QVERIFY(line.endsWith(u' ' + row[2]) || row[2].isEmpty());
                QVERIFY(line.contains(row[1] + u' '));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestTableWriter)
#include "tst_table_writer.moc"
