// Every reader of the register against a reference model of it, after every step of
// command sequences a bench types: exhaustively over all sequences of up to two steps after
// a common start, on SQLite and PostgreSQL, and at random over long sequences when
// REGISTER_MODEL_SEQUENCES asks for them (the failing sequence is shrunk to a short one).
#include "files.h"
#include "lab_client.h"
#include "reading/line_format.h"
#include "register_backends.h"
#include "register_model.h"
#include "tool_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using regmodel::Model;
using regmodel::Observed;
using regmodel::Step;

namespace {

qint64 micro(const QJsonValue &v)
{
    return qRound64(v.toDouble() * 1e6);
}

// One register and the model beside it: runs steps through the tool and reads it back.
class Bench {
public:
    Bench(QString db, QString folder, const regmodel::Rules &rules)
        : db_(std::move(db)),
          folder_(std::move(folder)),
          model_(QDateTime::currentDateTimeUtc(), rules)
    { }

    // Runs one step; an empty text when the tool and the model agree on its outcome.
    QString step(const Step &s)
    {
        const ToolRun run = runTool(arguments(s), folder_);
        if (s.kind == Step::Kind::Match || s.kind == Step::Kind::Replace) {
            const QString wrong = model_.adopt(s, run.exitCode, layout(s.pack));
            return wrong.isEmpty() ? wrong
                                   : wrong + QStringLiteral("; ") + QString::fromUtf8(run.err);
        }
        const int expected = model_.apply(s);
        if (run.exitCode == expected)
            return {};
        return QStringLiteral("exit %1, expected %2: %3")
            .arg(run.exitCode)
            .arg(expected)
            .arg(QString::fromUtf8(run.err + run.out).left(400));
    }

    // Every difference between the readers and the model; with the report and the labels
    // when `pictures` asks for them.
    QStringList check(bool pictures = false)
    {
        Observed seen = observe();
        if (pictures) {
            drawPictures(seen);
            readLabView(seen);
        }
        return model_.differences(seen);
    }

    const QString &db() const { return db_; }
    // The same bench on a copy of its register.
    Bench on(QString db) const
    {
        Bench copy = *this;
        copy.db_ = std::move(db);
        return copy;
    }

private:
    QStringList rules() const
    {
        QStringList r{"--max-resistance",
                      QString::number(double(model_.rules().maxMicroohms) / 1e6)};
        if (model_.rules().withVoltage)
            r << "--min-voltage" << QString::number(double(model_.rules().minMicrovolts) / 1e6);
        return r;
    }

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder_ + u'/' + name;
        return writeFile(path, bytes) ? path : QString();
    }

    QStringList arguments(const Step &s)
    {
        using K = Step::Kind;
        const QStringList db{"--db", db_};
        switch (s.kind) {
        case K::Record: {
            QByteArray board;
            for (int i = 0; i < s.labels.size(); ++i) {
                reading::Reading r;
                r.group = i + 1;
                r.resistance = {regmodel::microohmsAt(i) / 100, 1};
                r.voltage = {s.millivolts, 3};
                board += reading::boardLine(r) + "\r\n";
            }
            QStringList args{"record",  file(QStringLiteral("readings.txt"), board),
                             "--cells", s.labels.join(u','),
                             "--at",    s.at};
            if (s.restStart)
                args << "--rest-start";
            return args + db;
        }
        case K::Undo: {
            const qint64 latest = model_.runs().empty() ? 1 : model_.runs().back().number;
            return QStringList{"undo", QString::number(s.run ? s.run : latest)} + db;
        }
        case K::Retire:
            return QStringList{"cell", "retire", s.labels.value(0), "--reason", "dented"} + db;
        case K::Restore: return QStringList{"cell", "restore", s.labels.value(0)} + db;
        case K::Relabel:
            return QStringList{"cell", "relabel", s.labels.value(0), s.labels.value(1)} + db;
        case K::Capacity: {
            QByteArray csv = "Cell ID;Capacity (mAh)\r\n";
            for (int i = 0; i < s.labels.size(); ++i)
                csv += s.labels[i].toUtf8() + ';' + QByteArray::number(regmodel::milliampHoursAt(i))
                    + "\r\n";
            return QStringList{"capacity", file(QStringLiteral("charger.csv"), csv)} + db;
        }
        case K::Match:
            return QStringList{"match", "--series", "1", "--parallel", "2", "--save-pack", s.pack}
            + rules() + db;
        case K::Replace:
            return QStringList{"pack", "replace", s.pack, s.labels.value(0), "--apply"} + db;
        case K::DeletePack: return QStringList{"pack", "delete", s.pack} + db;
        }
        return {};
    }

    // A pack's groups of labels as `pack show` gives them for building, − end first.
    std::vector<QStringList> layout(const QString &pack)
    {
        std::vector<QStringList> groups;
        const ToolRun run = runTool({"pack", "show", pack, "--format", "csv", "--db", db_});
        const QList<QByteArray> rows = run.out.split('\n');
        for (qsizetype i = 1; i < rows.size(); ++i) {
            const QList<QByteArray> f = rows[i].trimmed().split(',');
            if (f.size() < 3)
                continue;
            const int g = f[0].toInt(), p = f[1].toInt();
            if (g < 1 || p < 1 || g > 64 || p > 64)
                continue;
            if (int(groups.size()) < g)
                groups.resize(std::size_t(g));
            QStringList &group = groups[std::size_t(g - 1)];
            if (group.size() < p)
                group.resize(p);
            group[p - 1] = QString::fromUtf8(f[2]);
        }
        return groups;
    }

    QJsonArray rows(const QStringList &args)
    {
        return QJsonDocument::fromJson(runTool(args + QStringList{"--db", db_}, folder_).out)
            .array();
    }

    // The lab view's cells table, served from the register as `serve` serves it.
    void readLabView(Observed &seen)
    {
        labview::Server server(labOptions(folder_, db_, false));
        QNetworkAccessManager net;
        QString query = QStringLiteral("/api/cells?size=500&mohm=%1")
                            .arg(double(model_.rules().maxMicroohms) / 1000);
        if (model_.rules().withVoltage)
            query += QStringLiteral("&vmin=%1").arg(double(model_.rules().minMicrovolts) / 1e6);
        const Reply reply = request(net, "GET", labBase(server) + query);
        std::vector<Observed::CellRow> rows;
        for (const QJsonValue &r : QJsonDocument::fromJson(reply.body)["rows"].toArray()) {
            Observed::CellRow row;
            row.label = r["label"].toString();
            row.measurements = r["measurements"].toInt();
            row.microohms = r["microohms"].toInteger();
            row.microvolts = r["microvolts"].toInteger();
            if (!r["microampHours"].isNull())
                row.milliampHours = int(r["microampHours"].toInteger() / 1000);
            row.pack = r["pack"].toString();
            row.status = r["status"].toString() == u"retired" ? QStringLiteral("retired")
                : r["pass"].toBool()                          ? QStringLiteral("pass")
                                                              : QStringLiteral("fail");
            rows.push_back(row);
        }
        seen.labCells = rows;
    }

    void drawPictures(Observed &seen)
    {
        const QString report = folder_ + QStringLiteral("/report.html");
        if (runTool(QStringList{"report", "--output", report, "--db", db_} + rules()).exitCode
            == 0) {
            const QByteArray page = readFile(report);
            const auto count = [&](const QByteArray &id) {
                const qsizetype at = page.indexOf("id=\"" + id + "\">");
                return at < 0 ? -1 : page.mid(at + id.size() + 6, 8).split('<').value(0).toInt();
            };
            seen.reportCounts = std::pair{count("count-pass"), count("count-fail")};
        }
        // The labels' text, one page a label, its name first.
        const QString pdf = folder_ + QStringLiteral("/labels.pdf");
        QFile::remove(pdf);
        const ToolRun labels = runTool(
            QStringList{"labels", "--only", "pass", "--output", pdf, "--db", db_} + rules());
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        QStringList printed;
        if (labels.exitCode == 0)
            for (const QByteArray &page : text.readAllStandardOutput().split('\f'))
                if (!page.trimmed().isEmpty())
                    printed << QString::fromUtf8(page.trimmed().split('\n').value(0));
        seen.passLabels = printed;
    }

    Observed observe()
    {
        Observed seen;
        for (const QJsonValue &r : rows(QStringList{"cells", "--format", "json"} + rules())) {
            Observed::CellRow row;
            row.label = r["label"].toString();
            row.measurements = r["measurements"].toInt();
            row.microohms = micro(r["resistance_ohm"]);
            row.microvolts = micro(r["voltage_v"]);
            if (!r["capacity_mah"].isNull())
                row.milliampHours = qRound(r["capacity_mah"].toDouble());
            row.pack = r["pack"].toString();
            row.status = r["status"].isString() && r["status"].toString() != u"in stock"
                    && r["status"].toString() != u"in pack"
                ? r["status"].toString()
                : r["verdict"].toString();
            seen.cells.push_back(row);
        }
        for (const QJsonValue &r : rows({"runs", "--format", "json"}))
            if (r["undone"].isNull() || r["undone"].isUndefined())
                seen.runs.emplace_back(r["run"].toInteger(), r["readings"].toInt());
        for (const QJsonValue &r : rows({"export", "--format", "json"}))
            ++seen.exported[r["label"].toString()];
        const QList<QByteArray> packs =
            runTool({"pack", "list", "--db", db_}, folder_).out.split('\n');
        for (const QByteArray &line : packs)
            if (!line.trimmed().isEmpty()) {
                const QString name = QString::fromUtf8(line.left(line.indexOf("  ")));
                seen.packs[name] = layout(name);
            }
        // `cell` for every cell that is, or should be, retired.
        QStringList retired;
        for (const auto &row : seen.cells)
            if (row.status == u"retired")
                retired << row.label;
        for (const auto &[key, c] : model_.cells())
            if (c.retired && !retired.contains(c.label))
                retired << c.label;
        for (const QString &label : retired) {
            const QJsonObject cell =
                QJsonDocument::fromJson(
                    runTool({"cell", label, "--format", "json", "--db", db_}).out)
                    .object();
            if (cell["retired"].isString())
                seen.retiredReasons[label] = cell["retired"].toString();
        }
        return seen;
    }

    QString db_;
    QString folder_;
    Model model_;
};

QString describe(const std::vector<Step> &steps)
{
    QStringList lines;
    for (const Step &s : steps)
        lines << s.describe();
    return lines.join(QStringLiteral("\n  "));
}

} // namespace

class TestRegisterModel : public QObject {
    Q_OBJECT

    RegisterBackends backends_;
    regmodel::Rules rules_;

    // Runs the steps on the bench, comparing the readers after the last step, or after
    // each; the first step where the tool and the model part, or nothing.
    static QString failure(Bench &bench, const std::vector<Step> &steps, bool checkEach,
                           const std::vector<Step> &before = {}, bool pictures = false)
    {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            QString wrong = bench.step(steps[i]);
            if (wrong.isEmpty() && (checkEach || i + 1 == steps.size()))
                wrong = bench.check(pictures).join(QStringLiteral("; "));
            if (!wrong.isEmpty()) {
                std::vector<Step> done = before;
                done.insert(done.end(), steps.begin(), steps.begin() + qsizetype(i) + 1);
                return QStringLiteral("after:\n  %1\n  -> %2").arg(describe(done), wrong);
            }
        }
        return {};
    }

    QString failure(const QString &backend, const std::vector<Step> &steps, bool checkEach)
    {
        Bench bench(backends_.fresh(backend), backends_.folder(), rules_);
        return failure(bench, steps, checkEach, {}, true);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(backends_.start().isEmpty(), qPrintable(backends_.server().error()));
        qputenv("TZ", "Europe/Berlin");
        qputenv("XDG_DATA_HOME", QFile::encodeName(backends_.folder() + QStringLiteral("/data")));
    }

    void everySequenceOfTwoSteps_data()
    {
        QTest::addColumn<QString>("backend");
        for (const QString &b : RegisterBackends::names())
            QTest::newRow(qPrintable(b)) << b;
    }
    // Every pair of steps after the common start, each pair on a copy of the register the
    // first step left; the readers are compared after each step.
    void everySequenceOfTwoSteps()
    {
        QFETCH(QString, backend);
        const std::vector<Step> steps = regmodel::alphabet();
        const std::vector<Step> start = regmodel::groundwork();
        Bench ground(backends_.fresh(backend), backends_.folder(), rules_);
        const QString groundFailure = failure(ground, start, true);
        QVERIFY2(groundFailure.isEmpty(), qPrintable(groundFailure));
        // PostgreSQL is slower to copy: every single step there, and the pairs from every
        // third first step.
        const std::size_t stride = backend == u"sqlite" ? 1 : 3;
        QStringList failures;
        for (std::size_t a = 0; a < steps.size(); ++a) {
            Bench first = ground.on(backends_.copy(backend, ground.db()));
            if (first.db().isEmpty())
                QFAIL(qPrintable(QStringLiteral("could not copy ") + ground.db()));
            std::vector<Step> before; // after the common start
            // The report and the labels after each single step: drawing them is slow.
            if (const QString f = failure(first, {steps[a]}, true, before, true); !f.isEmpty()) {
                failures << f;
                continue;
            }
#ifdef REGISTER_MODEL_SINGLE_STEPS
            continue; // a sanitized tool is slow: the pairs run in the normal build
#endif
            if (a % stride != 0)
                continue;
            before.push_back(steps[a]);
            for (const Step &b : steps) {
                Bench second = first.on(backends_.copy(backend, first.db()));
                if (second.db().isEmpty())
                    QFAIL(qPrintable(QStringLiteral("could not copy ") + first.db()));
                if (const QString f = failure(second, {b}, true, before); !f.isEmpty())
                    failures << f;
            }
        }
        // QTest cuts long messages short: failing sequences on lines of their own, the first
        // of each different fault.
        QSet<QString> faults;
        for (const QString &f : failures)
            if (const QString fault = f.section(QStringLiteral("-> "), 1).left(60);
                !faults.contains(fault) && faults.size() < 16) {
                faults.insert(fault);
                qWarning().noquote() << f;
            }
        QVERIFY2(failures.isEmpty(),
                 qPrintable(QString::number(failures.size()) + QStringLiteral(" sequences fail")));
    }

    // Long random sequences from the seed REGISTER_MODEL_SEED, for REGISTER_MODEL_SECONDS (none
    // by default); a failing one is shrunk step by step while it still fails.
    void randomSequences()
    {
        const int seconds = qEnvironmentVariableIntValue("REGISTER_MODEL_SECONDS");
        if (seconds == 0)
            QSKIP("REGISTER_MODEL_SECONDS not set");
        const quint32 seed = quint32(qEnvironmentVariableIntValue("REGISTER_MODEL_SEED"));
        QRandomGenerator random(seed);
        const int n = int(regmodel::alphabet().size());
        QElapsedTimer clock;
        clock.start();
        int tried = 0, steps = 0;
        for (; clock.elapsed() < seconds * 1000LL; ++tried) {
            const QString backend = RegisterBackends::names().at(tried % 2);
            std::vector<int> picks(std::size_t(8 + random.bounded(17)));
            for (int &p : picks)
                p = random.bounded(n);
            steps += int(picks.size());
            if (failure(backend, regmodel::sequence(picks), true).isEmpty())
                continue;
            // Shrink: drop each step that the failure does not need.
            for (std::size_t i = picks.size(); i-- > 0;) {
                std::vector<int> shorter = picks;
                shorter.erase(shorter.begin() + qsizetype(i));
                if (!failure(backend, regmodel::sequence(shorter), true).isEmpty())
                    picks = shorter;
            }
            qWarning().noquote() << failure(backend, regmodel::sequence(picks), true);
            QFAIL(qPrintable(QStringLiteral("sequence %1 of seed %2 on %3 fails; shrunk above")
                                 .arg(tried)
                                 .arg(seed)
                                 .arg(backend)));
        }
        qInfo("%d sequences of %d steps in all, seed %u: the model holds", tried, steps, seed);
    }
};

QTEST_GUILESS_MAIN(TestRegisterModel)
#include "tst_register_model.moc"
