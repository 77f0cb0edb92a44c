// What the one option table promises the user, checked on the built tool: every subcommand
// answers both ways of asking for help alike, every option it takes shows in its help, its
// manual page section and the completion, and an option refuses a bad value in the same
// words whichever subcommand it is given to.
#include "cli/options/options.h"
#include "reading/decimal.h"
#include "tool_process.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {

QString faultOf(const QStringList &args)
{
    try {
        cli::parseArguments(args);
    } catch (const EUsageError &e) {
        return e.message();
    }
    return {};
}

// The completion script as bash runs it, with the built tool first on the PATH.
QString completed(const QStringList &words)
{
    QProcess bash;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH",
               QFileInfo(QStringLiteral(BATTERY_CLI)).absolutePath() + u':' + env.value("PATH"));
    bash.setProcessEnvironment(env);
    const QStringList script{"-c",
                             "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
                             "_battery_analyzer_cli; echo \"${COMPREPLY[*]}\"",
                             "bash", QStringLiteral(BATTERY_COMPLETION), "battery-analyzer-cli"};
    bash.start("bash", script + words);
    bash.waitForFinished(60000);
    return QString::fromUtf8(bash.readAllStandardOutput());
}

} // namespace

class TestCliOptions : public QObject {
    Q_OBJECT
private slots:
    void everySubcommandDocumentsItsOptions_data();
    void everySubcommandDocumentsItsOptions();
    void oneRangePerOption_data();
    void oneRangePerOption();
};

void TestCliOptions::everySubcommandDocumentsItsOptions_data()
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < cli::subcommandTable().size(); ++i)
        QTest::newRow(cli::subcommandTable()[i].name) << int(i);
}

void TestCliOptions::everySubcommandDocumentsItsOptions()
{
    QFETCH(int, row);
    const cli::SubcommandRow &sub = cli::subcommandTable()[std::size_t(row)];
    const QStringList words = QString::fromLatin1(sub.name).split(u' ');
    const ToolRun asked = runTool(words + QStringList{"--help"});
    const ToolRun named = runTool(QStringList{"help"} + words);
    QCOMPARE(asked.exitCode, 0);
    QCOMPARE(named.exitCode, 0);
    QCOMPARE(asked.err, QByteArray());
    QCOMPARE(named.out, asked.out);
    QVERIFY(asked.out.startsWith("Usage: battery-analyzer-cli " + QByteArray(sub.name) + ' '));
    QVERIFY(asked.out.contains("\nExit codes:\n  0    done\n"));

    QFile man(QStringLiteral(BATTERY_MAN_PAGE));
    QVERIFY(man.open(QIODevice::ReadOnly));
    const QByteArray page = man.readAll();
    const qsizetype start = page.indexOf(".SS " + QByteArray(sub.name) + '\n');
    QVERIFY2(start >= 0, sub.name);
    const QByteArray section = page.mid(start, page.indexOf("\n.SS ", start + 1) - start);
    const QStringList offered = completed(words + QStringList{"--"}).split(u' ');
    for (const cli::OptionUse &use : sub.options) {
        const QString option = "--" + cli::optionRow(use.id).names.back();
        QVERIFY2(asked.out.contains(option.toUtf8()), qPrintable(option));
        QVERIFY2(section.contains(option.toUtf8()), qPrintable(option));
        QVERIFY2(offered.contains(option), qPrintable(option));
    }
}

// A value each option refuses, beyond its range or words as the table gives them, or as the
// option's own rule has it; every subcommand that takes the option must refuse it alike.
void TestCliOptions::oneRangePerOption_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    const auto row = [](const QString &option, const QString &value) {
        QTest::newRow(qPrintable(option + u'=' + value)) << option << value;
    };
    for (const cli::OptionRow &o : cli::optionTable()) {
        const QString name = "--" + o.names.back();
        if (const cli::Range &r = o.range; r.unit) {
            row(name, QString::fromLatin1(reading::decimalText({r.max + 1, r.places})));
            if (r.min > 0)
                row(name, QString::fromLatin1(reading::decimalText({r.min - 1, r.places})));
        } else if (*o.words && *o.words != '@') {
            row(name, QStringLiteral("none"));
        }
    }
    for (const char *option :
         {"--port", "--output", "--db", "--cells", "--first-cell", "--save-pack", "--pack"})
        row(QString::fromLatin1(option), QString());
    row("--com", "256");
    row("--at", "yesterday");
    row("--size", "151x29mm");
}

void TestCliOptions::oneRangePerOption()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QSet<QString> faults;
    int takers = 0;
    for (const cli::SubcommandRow &sub : cli::subcommandTable()) {
        const bool takes = std::any_of(sub.options.begin(), sub.options.end(), [&](auto &use) {
            return "--" + cli::optionRow(use.id).names.back() == option;
        });
        if (!takes)
            continue;
        ++takers;
        const QString name = QString::fromLatin1(sub.name);
        const QString fault = faultOf(name.split(u' ') + QStringList{option + u'=' + value});
        QVERIFY2(fault.startsWith(name + ": "), qPrintable(name + " took " + option));
        faults << fault.section(u'\n', 0, 0).mid(name.size() + 2);
    }
    QVERIFY(takers > 0);
    QCOMPARE(faults.size(), 1);
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_cli_options.moc"
