// Texts the window builds without showing anything: the status clock, the error dialog's
// period rule, the program title, the start-up failure box and the wrapping of captions.
#include "app/app_icon.h"
#include "app/clock_text.h"
#include "app/error_dialog.h"
#include "app/program_title.h"
#include "app/startup.h"
#include "app/wrapping_button.h"

#include <QtTest>

class TestAppTexts : public QObject {
    Q_OBJECT
private slots:
    void clockText_data();
    void clockText();
    void finalPeriod_data();
    void finalPeriod();
    void programTitle_data();
    void programTitle();
    void startupFailure_data();
    void startupFailure();
    void wrapAtSpaces_data();
    void wrapAtSpaces();
    void installedIconsAreTheWindowsDrawing();
};

void TestAppTexts::clockText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("dateAndTime");
    const QTime morning(7, 8, 9);
    const QTime evening(19, 5, 0);
    QTest::newRow("en_US morning")
        << QLocale(QLocale::English, QLocale::UnitedStates) << morning << "3/5/24  7:08:09 AM";
    QTest::newRow("en_US evening")
        << QLocale(QLocale::English, QLocale::UnitedStates) << evening << "3/5/24  7:05:00 PM";
    QTest::newRow("C") << QLocale::c() << evening << "5 Mar 2024  19:05:00";
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << morning
                           << "05.03.24  07:08:09";
    QTest::newRow("fi_FI") << QLocale(QLocale::Finnish, QLocale::Finland) << morning
                           << "5.3.2024  7.08.09";
    QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China) << morning
                           << "2024/3/5  07:08:09";
    QTest::newRow("fr_CA quoted letters")
        << QLocale(QLocale::French, QLocale::Canada) << morning << "2024-03-05  07 h 08 min 09 s";
}

void TestAppTexts::clockText()
{
    QFETCH(QLocale, locale);
    QFETCH(QTime, time);
    QFETCH(QString, dateAndTime);
    const QDateTime now(QDate(2024, 3, 5), time);
    QCOMPARE(app::statusClockText(now, locale),
             " Now: " + dateAndTime + QString(29, u' ') + "Battery Analyzer V2.0");
}

void TestAppTexts::finalPeriod_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Stream write error"
                            << "Stream write error.";
    QTest::newRow("digit") << "OLE error 80004005"
                           << "OLE error 80004005.";
    QTest::newRow("closing quote") << "'x' is not a valid integer value"
                                   << "'x' is not a valid integer value.";
    QTest::newRow("slash (0x2F)") << "a/"
                                  << "a/.";
    QTest::newRow("period") << "Done."
                            << "Done.";
    QTest::newRow("blank") << "Trailing "
                           << "Trailing ";
    QTest::newRow("exclamation") << "Stop!"
                                 << "Stop!";
    QTest::newRow("comma") << "a,"
                           << "a,";
    QTest::newRow("hyphen") << "a-"
                            << "a-";
    QTest::newRow("Chinese") << QString::fromUtf16(u"仪器没有存储数据")
                             << QString::fromUtf16(u"仪器没有存储数据.");
    QTest::newRow("omega") << QString::fromUtf16(u"1 Ω") << QString::fromUtf16(u"1 Ω.");
    QTest::newRow("empty") << ""
                           << "";
}

void TestAppTexts::finalPeriod()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(app::withFinalPeriod(message), shown);
}

void TestAppTexts::programTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("installed") << "/usr/bin/battery-analyzer"
                               << "battery-analyzer";
    QTest::newRow("capitals") << "/opt/BATTERY-Analyzer"
                              << "Battery-analyzer";
    QTest::newRow("cut at first dot") << "/a.b/Tool.Setup.exe"
                                      << "Tool";
    QTest::newRow("no folder") << "Prog.exe"
                               << "Prog";
    QTest::newRow("one letter") << "/x/Q.bin"
                                << "Q";
    QTest::newRow("starts with dot") << "/x/.hidden"
                                     << "";
}

void TestAppTexts::programTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(app::programTitleFromPath(path), title);
}

void TestAppTexts::startupFailure_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("secondLine");
    QTest::newRow("no full stop") << "Class not registered"
                                  << "Class not registered.";
    QTest::newRow("full stop") << "Class not registered."
                               << "Class not registered.";
    QTest::newRow("ends with blank") << "Gone "
                                     << "Gone .";
}

void TestAppTexts::startupFailure()
{
    QFETCH(QString, message);
    QFETCH(QString, secondLine);
    QCOMPARE(app::startupFailureText("EOleSysError", "battery-analyzer", 0x4A2F0, message),
             "Exception EOleSysError in module battery-analyzer at 0004A2F0.\n" + secondLine);
}

void TestAppTexts::wrapAtSpaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("widthInX");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("fits") << "ab cd" << 10 << QStringList{"ab cd"};
    QTest::newRow("breaks, spaces at the break dropped")
        << "ab    cd" << 5 << QStringList{"ab", "cd"};
    QTest::newRow("leading spaces stay") << "   ab cd" << 5 << QStringList{"   ab", "cd"};
    QTest::newRow("long word is not broken") << "abcdefgh ij" << 4 << QStringList{"abcdefgh", "ij"};
    QTest::newRow("three lines") << "ab cd ef" << 3 << QStringList{"ab", "cd", "ef"};
    QTest::newRow("trailing spaces") << "ab   " << 10 << QStringList{"ab"};
    QTest::newRow("no spaces, too wide") << "abcdef" << 2 << QStringList{"abcdef"};
    QTest::newRow("empty") << "" << 10 << QStringList{""};
}

void TestAppTexts::wrapAtSpaces()
{
    QFETCH(QString, text);
    QFETCH(int, widthInX);
    QFETCH(QStringList, lines);
    // A fixed-pitch font: every character, the blank included, is as wide as "x".
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPixelSize(16);
    const QFontMetrics metrics(font);
    QCOMPARE(metrics.horizontalAdvance(u' '), metrics.horizontalAdvance(u'x'));
    QCOMPARE(app::wrapAtSpaces(text, metrics, widthInX * metrics.horizontalAdvance(u'x')), lines);
}

// The desktop's icon files are committed; after the window's drawing changes they must be
// redrawn (window-pictures icons), or the menu and the window would show different icons.
void TestAppTexts::installedIconsAreTheWindowsDrawing()
{
    for (const int size : {16, 32, 48}) {
        const QImage installed(QStringLiteral(ICONS_DIR "/%1.png").arg(size));
        QVERIFY2(!installed.isNull(), qPrintable(QString::number(size)));
        QCOMPARE(installed.convertToFormat(QImage::Format_ARGB32),
                 app::appIconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32));
    }
}

QTEST_MAIN(TestAppTexts)
#include "tst_app_texts.moc"
