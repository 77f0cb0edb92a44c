// The application-wide error dialog, the one catch around handlers, and the start-up failure.
#include "app/error_dialog.h"
#include "app/form1.h"
#include "app/program_title.h"
#include "app/startup.h"
#include "core/error.h"
#include "modal_box_user.h"

#include <QtTest>
#include <QtWidgets>

CORE_DECLARE_ERROR(ETestError);
// What building the serial control raises when the platform cannot create it.
CORE_DECLARE_ERROR(EOleSysError);

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void programTitleIsTheExecutableName();
    void errorDialog();
    void handlerErrorsEndInTheDialog_data();
    void handlerErrorsEndInTheDialog();
    void errorDialogReleasesTheMouse();
    void errorInsideAnErrorDialogOpensAnother();
    void startupFailure();
    void startupRunsUntilTheWindowCloses();
};

void TestDialogs::programTitleIsTheExecutableName()
{
    QCOMPARE(app::programTitle(), "tst_dialogs");
}

void TestDialogs::errorDialog()
{
    ModalBoxUser answerer;
    app::showErrorDialog("Stream write error");
    QCOMPARE(answerer.seen.size(), 1);
    const auto &box = answerer.seen.first();
    QCOMPARE(box.title, app::programTitle());
    QCOMPARE(box.text, "Stream write error.");
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestDialogs::handlerErrorsEndInTheDialog_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");
    QTest::newRow("program error") << 0 << "Text exceeds memo capacity.";
    QTest::newRow("standard exception") << 1 << "bad thing.";
}

void TestDialogs::handlerErrorsEndInTheDialog()
{
    QFETCH(int, kind);
    QFETCH(QString, shown);
    ModalBoxUser answerer;
    QStringList steps;
    // Through the event loop, as a click would come: the error must not reach it.
    QTimer::singleShot(0, this, [&] {
        app::runHandler([&] {
            steps << "before";
            if (kind == 0)
                throw ETestError("Text exceeds memo capacity");
            throw std::runtime_error("bad thing");
            steps << "after";
        });
        steps << "carried on";
    });
    QTRY_COMPARE(steps, (QStringList{"before", "carried on"}));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text, shown);
}

void TestDialogs::errorDialogReleasesTheMouse()
{
    QWidget widget;
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.grabMouse();
    QCOMPARE(QWidget::mouseGrabber(), &widget);
    ModalBoxUser answerer;
    QWidget *grabberWhileShown = &widget;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&] {
        if (qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            grabberWhileShown = QWidget::mouseGrabber();
    });
    probe.start(1);
    app::runHandler([] { throw ETestError("x"); });
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(grabberWhileShown, nullptr);
}

void TestDialogs::errorInsideAnErrorDialogOpensAnother()
{
    ModalBoxUser answerer;
    // A timer handler fails while the first box is still open.
    QTimer::singleShot(0, this, [] {
        QTimer::singleShot(30, [] { app::runHandler([] { throw ETestError("second"); }); });
        app::runHandler([] { throw ETestError("first"); });
    });
    QTRY_COMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[0].text, "first.");
    QCOMPARE(answerer.seen[1].text, "second.");
}

void TestDialogs::startupFailure()
{
    ModalBoxUser answerer;
    const int code = app::runApplication(
        [](QObject *) -> TMSComm * { throw EOleSysError("Class not registered"); });
    QCOMPARE(code, 1);
    QCOMPARE(Form1, nullptr);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<TForm1 *>(w));
    QCOMPARE(answerer.seen.size(), 1);
    const auto &box = answerer.seen.first();
    QCOMPARE(box.title, "Application Error");
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    const QStringList lines = box.text.split(u'\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(
        QRegularExpression("^Exception EOleSysError in module tst_dialogs at [0-9A-F]{8,16}\\.$")
            .match(lines[0])
            .hasMatch(),
        qPrintable(lines[0]));
    QCOMPARE(lines[1], "Class not registered.");
}

void TestDialogs::startupRunsUntilTheWindowCloses()
{
    bool shownCentred = false;
    bool englishWhenShown = false;
    QTimer::singleShot(100, this, [&] {
        if (!Form1 || !Form1->isVisible())
            return;
        const QRect screen = Form1->screen()->availableGeometry();
        shownCentred = (Form1->frameGeometry().center() - screen.center()).manhattanLength() <= 2;
        englishWhenShown = Form1->Button1->text() == "Connect";
        Form1->Button3->click();
    });
    QCOMPARE(app::runApplication(), 0);
    QCOMPARE(Form1, nullptr); // the window and its serial control are gone
    QVERIFY(shownCentred);
    QVERIFY(englishWhenShown);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
