// The main window as the user first sees it, its layout, its two languages and its keys.
#include "app/form1.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
#include "samples.h"
#include "window_fixture.h"

#include <QtTest>
#include <QtWidgets>

namespace {

struct Row {
    const char *control;
    const char *english;
    const char *chinese;
};

// Written down from the two language tables, independently of the program's own table.
const Row kCaptions[] = {
    {"GroupBox1", "Serial Port", "通信端口"},
    {"GroupBox2", "Select Model", "仪器型号"},
    {"Button1", "Connect", "建立连接"},
    {"Button2", "Disconnect", "中断连接"},
    {"Button14", " Download    Data", "下载数据"},
    {"Button4", "Clear Memory", "     清空       存储器"},
    {"Button8", "Save", "保存数据"},
    {"Button16", "Open", "打开文件"},
    {"Button7", "Clear Text", "清空文本"},
    {"Button3", "Exit", "退出"},
};
const Row kHints[] = {
    {"Button14", "Download data from Battery Analyzer", "从电池分析仪中导出数据"},
    {"Button4", "Clear the Memory of Battery Analyzer", "清除电池分析仪存储的数据"},
    {"Button8", "Save the data display on left board to PC", "将左侧数据面板上的数据保存在电脑上"},
    {"Button16", "Open the data saved in PC", "打开电脑上已存储的数据文件"},
    {"Button7", "Clear the data board", "清空数据面板"},
};

QString caption(QWidget *w)
{
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    return {};
}

// Everything a user can see or that a handler reads, except the fifteen switchable texts.
QStringList everythingElse(TForm1 &window)
{
    QStringList state{window.windowTitle(),
                      window.ComboBox1->currentText(),
                      window.StatusBar1->currentMessage(),
                      QString::fromLatin1(window.board().text().toHex()),
                      window.Memo1->toPlainText(),
                      window.Language1->title(),
                      window.N1->text(),
                      window.English1->text()};
    for (QWidget *w : window.findChildren<QWidget *>()) {
        if (w->objectName().isEmpty())
            continue;
        state << w->objectName() + (w->isEnabled() ? " enabled" : " disabled");
        if (auto *radio = qobject_cast<QRadioButton *>(w))
            state << radio->text() + (radio->isChecked() ? " checked" : "");
        if (auto *label = qobject_cast<QLabel *>(w))
            state << label->text();
        if (!w->toolTip().isEmpty() && w->objectName() != "Button14" && w->objectName() != "Button4"
            && w->objectName() != "Button8" && w->objectName() != "Button16"
            && w->objectName() != "Button7")
            state << w->objectName() + " hint " + w->toolTip();
    }
    return state;
}

QWidget *control(TForm1 &window, const char *name)
{
    return window.findChild<QWidget *>(QLatin1StringView(name));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void atStart();
    void geometry_data();
    void geometry();
    void clientAreaAndSizeLimits();
    void fonts_data();
    void fonts();
    void blackTextUnderADarkPalette_data();
    void blackTextUnderADarkPalette();
    void boardReadableOnADarkGround_data();
    void boardReadableOnADarkGround();
    void pointingHand_data();
    void pointingHand();
    void icon();
    void chineseAndBack();
    void switchingChangesNothingElse();
    void languageKeys_data();
    void languageKeys();
    void tabOrder_data();
    void tabOrder();
    void arrowKeysMoveTheModel();
    void wrappedCaptions_data();
    void wrappedCaptions();
    void clockTicks();
    void exitCloses();

private:
    std::unique_ptr<TForm1> window_;
};

void TestWindow::init()
{
    window_ = openWindow();
    QVERIFY(window_);
}

void TestWindow::cleanup()
{
    window_.reset();
}

void TestWindow::atStart()
{
    TForm1 &w = *window_;
    QCOMPARE(Form1, &w);
    QCOMPARE(w.windowTitle(), "Battery Analyzer    http://battery-analyzer.example.com");
    for (const Row &row : kCaptions)
        QCOMPARE(caption(control(w, row.control)), QString::fromUtf8(row.english));
    for (const Row &row : kHints)
        QCOMPARE(control(w, row.control)->toolTip(), QString::fromUtf8(row.english));
    for (const char *name : {"Button1", "Button2", "Button3", "ComboBox1", "Memo1", "RadioButton1",
                             "GroupBox1", "Label14"})
        QVERIFY2(control(w, name)->toolTip().isEmpty(), name);

    QCOMPARE(w.Label14->text(), "COM");
    QCOMPARE(w.RadioButton1->text(), "RM-40A");
    QCOMPARE(w.RadioButton2->text(), "RM-40B");
    QCOMPARE(w.RadioButton3->text(), "RM-40C");
    QVERIFY(w.RadioButton1->isChecked());
    QVERIFY(!w.RadioButton2->isChecked() && !w.RadioButton3->isChecked());

    QVERIFY(w.ComboBox1->isEditable());
    QCOMPARE(w.ComboBox1->currentText(), "1");
    QCOMPARE(w.ComboBox1->count(), 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(w.ComboBox1->itemText(i), QString::number(i + 1));
    QCOMPARE(w.ComboBox1->maxVisibleItems(), 8);

    QVERIFY(w.Button1->isEnabled());
    QVERIFY(!w.Button2->isEnabled());
    QVERIFY(!w.Button14->isEnabled());
    QVERIFY(!w.Button4->isEnabled());
    for (QWidget *b : {static_cast<QWidget *>(w.Button8), static_cast<QWidget *>(w.Button16),
                       static_cast<QWidget *>(w.Button7), static_cast<QWidget *>(w.Button3)})
        QVERIFY(b->isEnabled());

    QVERIFY(w.board().text().isEmpty());
    QVERIFY(w.Memo1->toPlainText().isEmpty());
    QVERIFY(w.Memo1->isReadOnly());
    QCOMPARE(w.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(w.Memo1->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QVERIFY(w.StatusBar1->currentMessage().isEmpty());
    QCOMPARE(w.Timer2->interval(), 1000);
    QVERIFY(w.Timer2->isActive());

    QCOMPARE(QApplication::focusWidget(), w.ComboBox1);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    QCOMPARE(w.Language1->title(), QString::fromUtf16(u"语言(Language)"));
    QCOMPARE(w.N1->text(), QString::fromUtf16(u"中文"));
    QCOMPARE(w.N1->shortcut(), QKeySequence("Ctrl+Z"));
    QCOMPARE(w.English1->text(), "English");
    QCOMPARE(w.English1->shortcut(), QKeySequence("Ctrl+E"));
    QVERIFY(!w.N1->isCheckable() && !w.English1->isCheckable());
    QCOMPARE(w.MainMenu1->actions(), QList<QAction *>{w.Language1->menuAction()});
    QCOMPARE(w.Language1->actions(), (QList<QAction *>{w.N1, w.English1}));

    for (const char *name : {"MainMenu1", "Language1", "N1", "English1", "MSComm1", "Timer2",
                             "OpenDialog1", "SaveDialog1", "StatusBar1"})
        QVERIFY2(w.findChild<QObject *>(QLatin1StringView(name)), name);
}

void TestWindow::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");
    const struct {
        const char *name;
        const char *parent;
        QRect rect;
    } rows[] = {
        {"GroupBox1", "", {8, 8, 153, 73}},
        {"Label14", "GroupBox1", {24, 34, 46, 22}},
        {"ComboBox1", "GroupBox1", {80, 32, 49, 27}},
        {"GroupBox2", "", {168, 8, 329, 73}},
        {"RadioButton1", "GroupBox2", {16, 32, 105, 25}},
        {"RadioButton2", "GroupBox2", {120, 32, 105, 25}},
        {"RadioButton3", "GroupBox2", {224, 32, 89, 25}},
        {"Memo1", "", {8, 88, 377, 313}},
        {"Button1", "", {392, 88, 105, 33}},
        {"Button2", "", {392, 120, 105, 33}},
        {"Button14", "", {392, 160, 105, 49}},
        {"Button4", "", {392, 208, 105, 49}},
        {"Button8", "", {392, 264, 105, 33}},
        {"Button16", "", {392, 296, 105, 33}},
        {"Button7", "", {392, 328, 105, 33}},
        {"Button3", "", {392, 368, 105, 33}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.name << row.parent << row.rect;
}

void TestWindow::geometry()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    QWidget *w = window_->findChild<QWidget *>(name);
    QVERIFY(w);
    QWidget *expectedParent =
        parent.isEmpty() ? window_->centralWidget() : window_->findChild<QWidget *>(parent);
    QCOMPARE(w->parentWidget(), expectedParent);
    QCOMPARE(w->geometry(), rect);
    QVERIFY(w->isVisible());
}

void TestWindow::clientAreaAndSizeLimits()
{
    TForm1 &w = *window_;
    const int menuHeight = w.MainMenu1->height();
    QVERIFY(menuHeight > 0);
    QCOMPARE(w.centralWidget()->geometry(), QRect(0, menuHeight, 502, 406));
    QCOMPARE(w.StatusBar1->geometry(), QRect(0, menuHeight + 406, 502, 28));
    QCOMPARE(w.size(), QSize(502, menuHeight + 434));
    QCOMPARE(w.centralWidget()->palette().color(QPalette::Window), QColor(166, 202, 240));
    QVERIFY(w.centralWidget()->autoFillBackground());

    // Dragged far out, the window grows by two pixels each way; pushed in, not at all.
    w.resize(900, 900);
    QTRY_COMPARE(w.size(), QSize(504, menuHeight + 436));
    QCOMPARE(w.StatusBar1->geometry(), QRect(0, menuHeight + 408, 504, 28));
    w.resize(100, 100);
    QTRY_COMPARE(w.size(), QSize(502, menuHeight + 434));
}

void TestWindow::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QColor>("colour");
    const QColor black(0, 0, 0), blue(0, 0, 255), red(255, 0, 0);
    const struct {
        const char *name;
        int pixels;
        bool bold;
        QColor colour;
    } rows[] = {
        {"GroupBox1", 19, true, black},    {"Label14", 19, true, black},
        {"ComboBox1", 16, true, black},    {"GroupBox2", 19, true, black},
        {"RadioButton1", 19, true, black}, {"RadioButton3", 19, true, black},
        {"Memo1", 19, true, black},        {"Button1", 16, true, black},
        {"Button2", 16, true, black},      {"Button14", 16, true, red},
        {"Button4", 16, true, red},        {"Button8", 16, true, blue},
        {"Button16", 16, true, blue},      {"Button7", 16, true, blue},
        {"Button3", 16, true, black},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.name << row.pixels << row.bold << row.colour;
}

void TestWindow::fonts()
{
    QFETCH(QString, name);
    QFETCH(int, pixels);
    QFETCH(bool, bold);
    QFETCH(QColor, colour);
    QWidget *w = window_->findChild<QWidget *>(name);
    QCOMPARE(w->font().family(), "Arial");
    QCOMPARE(w->font().pixelSize(), pixels);
    QCOMPARE(w->font().bold(), bold);
    // Drawn with the metric-compatible substitute on Linux.
    QCOMPARE(QFontInfo(w->font()).pixelSize(), pixels);
    const QPalette::ColorRole role =
        qobject_cast<QAbstractButton *>(w) && !qobject_cast<QRadioButton *>(w)
        ? QPalette::ButtonText
        : (qobject_cast<QAbstractScrollArea *>(w) || qobject_cast<QComboBox *>(w)
               ? QPalette::Text
               : QPalette::WindowText);
    QCOMPARE(w->palette().color(QPalette::Active, role), colour);
    if (role == QPalette::ButtonText) // a disabled caption is greyed, whatever its colour
        QVERIFY(w->palette().color(QPalette::Disabled, role) != colour);
}

void TestWindow::blackTextUnderADarkPalette_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stripHeight"); // the top of the control only; 0: all of it
    QTest::newRow("group title") << "GroupBox2" << 24;
    QTest::newRow("label") << "Label14" << 0;
    QTest::newRow("radio button") << "RadioButton1" << 0;
    QTest::newRow("COM field") << "ComboBox1" << 0;
    QTest::newRow("board") << "Memo1" << 0;
}

void TestWindow::blackTextUnderADarkPalette()
{
    QFETCH(QString, name);
    QFETCH(int, stripHeight);
    // A dark theme: light text on dark grounds, no white anywhere but in the text.
    const QColor light(255, 255, 255), dark(60, 60, 60), grey(128, 128, 128);
    const QPalette darkTheme(light, dark, dark.lighter(120), dark.darker(), dark, light, light,
                             grey, dark);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(darkTheme);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    // Started under the dark theme.
    window_ = openWindow();
    QVERIFY(window_);
    TForm1 &w = *window_;
    w.board().AppendLine(sample::kLine7);
    w.Memo1->flushAppended();
    QWidget *control = w.findChild<QWidget *>(name);
    const QImage painted =
        control->grab(QRect(0, 0, control->width(), stripHeight ? stripHeight : -1))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    int black = 0, white = 0;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x) {
            const QColor c = painted.pixelColor(x, y);
            black += std::max({c.red(), c.green(), c.blue()}) < 40;
            white += std::min({c.red(), c.green(), c.blue()}) > 215;
        }
    QVERIFY2(black >= 20, qPrintable(QString::number(black)));
    QCOMPARE(white, 0);
}

void TestWindow::boardReadableOnADarkGround_data()
{
    QTest::addColumn<QColor>("base"); // the desktop's window colour
    QTest::addColumn<QColor>("ground"); // the board's painted ground
    QTest::newRow("light desktop") << QColor(240, 240, 230) << QColor(240, 240, 230);
    QTest::newRow("mid grey, still readable") << QColor(128, 128, 128) << QColor(128, 128, 128);
    QTest::newRow("dark theme") << QColor(35, 38, 41) << QColor(255, 255, 255);
}

// The board's black text always stands on a ground it can be read on.
void TestWindow::boardReadableOnADarkGround()
{
    QFETCH(QColor, base);
    QFETCH(QColor, ground);
    QPalette theme = QApplication::palette();
    theme.setColor(QPalette::Base, base);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(theme);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    window_ = openWindow();
    QVERIFY(window_);
    window_->board().AppendLine(sample::kLine7);
    window_->Memo1->flushAppended();
    const QImage painted = window_->Memo1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> pixels;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x)
            ++pixels[painted.pixel(x, y)];
    QCOMPARE(QColor(std::max_element(pixels.begin(), pixels.end()).key()), ground);
    QVERIFY(pixels.value(qRgb(0, 0, 0)) >= 20);
}

void TestWindow::pointingHand_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hand");
    for (const char *name :
         {"Button1", "Button2", "Button14", "Button4", "Button8", "Button16", "Button7", "Button3",
          "ComboBox1", "RadioButton1", "RadioButton2", "RadioButton3"})
        QTest::newRow(name) << name << true;
    for (const char *name : {"Memo1", "Label14", "GroupBox1", "GroupBox2"})
        QTest::newRow(name) << name << false;
}

void TestWindow::pointingHand()
{
    QFETCH(QString, name);
    QFETCH(bool, hand);
    QWidget *w = window_->findChild<QWidget *>(name);
    QCOMPARE(w->cursor().shape() == Qt::PointingHandCursor, hand);
    if (auto *combo = qobject_cast<QComboBox *>(w)) // also over the field where one types
        QCOMPARE(combo->lineEdit()->cursor().shape(), Qt::PointingHandCursor);
}

void TestWindow::icon()
{
    const QList<QSize> sizes = window_->windowIcon().availableSizes();
    for (const int s : {16, 32, 48}) {
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
        const QImage image = window_->windowIcon().pixmap(QSize(s, s)).toImage();
        QCOMPARE(image.size(), QSize(s, s));
        // Drawn, not blank: some pixels opaque, the corners clear.
        QVERIFY(qAlpha(image.pixel(s / 2, s / 2)) > 0);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }
}

void TestWindow::chineseAndBack()
{
    TForm1 &w = *window_;
    QStringList atStart;
    for (QWidget *c : w.findChildren<QWidget *>())
        atStart << c->objectName() + "|" + caption(c) + "|" + c->toolTip();

    w.N1->trigger();
    for (const Row &row : kCaptions)
        QCOMPARE(caption(control(w, row.control)), QString::fromUtf8(row.chinese));
    for (const Row &row : kHints)
        QCOMPARE(control(w, row.control)->toolTip(), QString::fromUtf8(row.chinese));
    for (const char *name : {"Button1", "Button2", "Button3"})
        QVERIFY2(control(w, name)->toolTip().isEmpty(), name);

    w.English1->trigger();
    QStringList back;
    for (QWidget *c : w.findChildren<QWidget *>())
        back << c->objectName() + "|" + caption(c) + "|" + c->toolTip();
    QCOMPARE(back, atStart);
}

void TestWindow::switchingChangesNothingElse()
{
    TForm1 &w = *window_;
    w.Timer2->stop();
    w.Timer2Timer();
    w.ComboBox1->setEditText("7");
    w.RadioButton3->setChecked(true);
    w.board().AppendLine(sample::kLine1);
    QCoreApplication::processEvents();
    w.Button4->setEnabled(true);
    w.Button1->setEnabled(false);

    const QStringList before = everythingElse(w);
    w.N1->trigger();
    QCOMPARE(everythingElse(w), before);
    w.N1->trigger(); // the language in force, chosen again
    QCOMPARE(everythingElse(w), before);
    w.English1->trigger();
    QCOMPARE(everythingElse(w), before);
}

void TestWindow::languageKeys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("COM field") << "ComboBox1";
    QTest::newRow("data board") << "Memo1";
    QTest::newRow("button") << "Button8";
    QTest::newRow("radio button") << "RadioButton1";
}

void TestWindow::languageKeys()
{
    QFETCH(QString, focus);
    TForm1 &w = *window_;
    // Typed text that an undo would take back.
    w.ComboBox1->setFocus();
    w.ComboBox1->lineEdit()->selectAll();
    QTest::keyClicks(w.ComboBox1, "5");
    QCOMPARE(w.ComboBox1->currentText(), "5");
    QVERIFY(w.ComboBox1->lineEdit()->isUndoAvailable());

    QWidget *target = w.findChild<QWidget *>(focus);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.Button1->text(), QString::fromUtf16(u"建立连接"));
    QCOMPARE(w.ComboBox1->currentText(), "5");
    QTest::keyClick(target, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(w.Button1->text(), "Connect");
    QCOMPARE(w.ComboBox1->currentText(), "5");
    if (focus == "ComboBox1") // Ctrl+E did not move the cursor to the end either
        QCOMPARE(w.ComboBox1->lineEdit()->cursorPosition(), 1);
}

void TestWindow::tabOrder_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QStringList>("stops");
    QTest::newRow("RM-40A") << "RadioButton1"
                            << QStringList{"RadioButton1", "Button1", "Button8", "Button16",
                                           "Button7",      "Button3", "Memo1",   "ComboBox1"};
    QTest::newRow("RM-40C") << "RadioButton3"
                            << QStringList{"RadioButton3", "Button1", "Button8", "Button16",
                                           "Button7",      "Button3", "Memo1",   "ComboBox1"};
}

void TestWindow::tabOrder()
{
    QFETCH(QString, radio);
    QFETCH(QStringList, stops);
    TForm1 &w = *window_;
    w.findChild<QRadioButton *>(radio)->setChecked(true);
    w.ComboBox1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), w.ComboBox1);
    for (const QString &stop : stops) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), stop);
    }

    // With the connection's buttons enabled they take their places in the order.
    w.Button1->setEnabled(false);
    for (QPushButton *b :
         {w.Button2, static_cast<QPushButton *>(w.Button14), static_cast<QPushButton *>(w.Button4)})
        b->setEnabled(true);
    const QStringList connected{radio,     "Button2", "Button14", "Button8", "Button16",
                                "Button7", "Button3", "Memo1",    "Button4", "ComboBox1"};
    for (const QString &stop : connected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), stop);
    }
}

void TestWindow::arrowKeysMoveTheModel()
{
    TForm1 &w = *window_;
    w.RadioButton1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), w.RadioButton1);
    QTest::keyClick(w.RadioButton1, Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), w.RadioButton2);
    QVERIFY(w.RadioButton2->isChecked());
    QVERIFY(!w.RadioButton1->isChecked());
    // The newly selected model is the group's tab stop, both ways.
    QTest::keyClick(w.RadioButton2, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Button1);
    QTest::keyClick(w.Button1, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), w.RadioButton2);
    QTest::keyClick(w.RadioButton2, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), w.ComboBox1);
}

void TestWindow::wrappedCaptions_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QStringList>("button14");
    QTest::addColumn<QStringList>("button4");
    QTest::newRow("English") << false << QStringList{" Download", "Data"}
                             << QStringList{"Clear", "Memory"};
    QTest::newRow("Chinese") << true << QStringList{QString::fromUtf16(u"下载数据")}
                             << QStringList{QString::fromUtf16(u"     清空"),
                                            QString::fromUtf16(u"存储器")};
}

void TestWindow::wrappedCaptions()
{
    QFETCH(bool, chinese);
    QFETCH(QStringList, button14);
    QFETCH(QStringList, button4);
    TForm1 &w = *window_;
    if (chinese)
        w.N1Click();
    QCOMPARE(w.Button14->wrappedLines(), button14);
    QCOMPARE(w.Button4->wrappedLines(), button4);
    // Each drawn line fits the button.
    for (app::WrappingButton *b : {w.Button14, w.Button4}) {
        const int lines = int(b->wrappedLines().size());
        QVERIFY(lines * b->fontMetrics().height() <= b->height());
        for (const QString &line : b->wrappedLines())
            QVERIFY(b->fontMetrics().horizontalAdvance(line) < b->width());
    }
}

void TestWindow::clockTicks()
{
    TForm1 &w = *window_;
    QVERIFY(w.StatusBar1->currentMessage().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!w.StatusBar1->currentMessage().isEmpty(), 3000);
    const QString first = w.StatusBar1->currentMessage();
    QVERIFY(first.startsWith(" Now: "));
    QVERIFY(first.endsWith(QString(29, u' ') + "Battery Analyzer V2.0"));
    // Hovering a menu item does not wipe the line.
    QStatusTipEvent tip(QString{});
    QCoreApplication::sendEvent(&w, &tip);
    QCOMPARE(w.StatusBar1->currentMessage(), first);
    QTRY_VERIFY_WITH_TIMEOUT(w.StatusBar1->currentMessage() != first, 3000);
}

void TestWindow::exitCloses()
{
    TForm1 &w = *window_;
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
