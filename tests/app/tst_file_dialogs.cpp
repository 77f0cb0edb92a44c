// Clear Text, Save and Open with their file dialogs, answered through the dialogs' presenter
// seam (the dialog's own accept, overwrite question included) and once by typing into the
// real dialog.
#include "app/file_dialog.h"
#include "app/form1.h"
#include "app/program_title.h"
#include "boardview/board_view.h"
#include "files.h"
#include "modal_box_user.h"
#include "samples.h"
#include "window_fixture.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <unistd.h>

using namespace sample;

namespace {

// One showing of a file dialog as the test saw it.
struct Shown {
    QString proposedName; // what the name field held
    QString directory;
    QString defaultSuffix;
    QFileDialog::AcceptMode acceptMode;
    QFileDialog::FileMode fileMode;
    bool native;
    bool confirmsOverwrite;
};

// Answers each showing with the next entry: a path (absolute, or relative to the folder the
// dialog shows), "" to accept what the dialog proposes, or a null string to cancel.
class DialogAnswers {
public:
    explicit DialogAnswers(QString folder) : folder_(std::move(folder)) { }

    QStringList answers;
    QList<Shown> shown;

    app::TFileDialog::Presenter presenter()
    {
        return [this](QFileDialog &dialog) {
            auto *nameField = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            shown.append({nameField ? nameField->text() : QString(), dialog.directory().path(),
                          dialog.defaultSuffix(), dialog.acceptMode(), dialog.fileMode(),
                          !dialog.testOption(QFileDialog::DontUseNativeDialog),
                          !dialog.testOption(QFileDialog::DontConfirmOverwrite)});
            const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
            if (answer.isNull())
                return int(QDialog::Rejected);
            if (shown.size() == 1 || !QFileInfo(answer).isAbsolute())
                dialog.setDirectory(folder_);
            if (!answer.isEmpty())
                dialog.selectFile(answer);
            static_cast<QDialog &>(dialog).accept(); // asks before replacing a file
            return dialog.result();
        };
    }

private:
    QString folder_;
};

} // namespace

class TestFileDialogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void clearText();
    void saveAcceptsTheProposal();
    void saveProposesTheSameNameEveryTime();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void saveFailureReachesTheErrorDialog();
    void openLoadsAndRemembersThePath();
    void openFailureKeepsTheBoard();
    void cancelChangesNothing();
    void realSaveDialog();
    void realOpenDialogAfterTheFolderWentAway();
    void shownDialog_data();
    void shownDialog();
    void aRunLeavesNoSettings();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    void fillBoard();

    QTemporaryDir dir_;
    std::unique_ptr<TForm1> window_;
    std::unique_ptr<DialogAnswers> answers_;
};

void TestFileDialogs::init()
{
    QVERIFY(dir_.isValid());
    window_ = openWindow();
    QVERIFY(window_);
    answers_ = std::make_unique<DialogAnswers>(dir_.path());
    window_->SaveDialog1->setPresenter(answers_->presenter());
    window_->OpenDialog1->setPresenter(answers_->presenter());
}

void TestFileDialogs::cleanup()
{
    window_.reset();
    answers_.reset();
    for (const QString &name : QDir(dir_.path()).entryList(QDir::Files)) {
        QFile file(path(name));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        file.remove();
    }
}

void TestFileDialogs::fillBoard()
{
    window_->board().AppendLine(kLine7);
    window_->board().AppendLine(kLine12);
}

void TestFileDialogs::clearText()
{
    fillBoard();
    ModalBoxUser answerer;
    window_->Button7->click();
    QVERIFY(window_->board().text().isEmpty());
    QVERIFY(window_->Memo1->toPlainText().isEmpty());
    QVERIFY(answerer.seen.isEmpty()); // no question, no message
}

void TestFileDialogs::saveAcceptsTheProposal()
{
    fillBoard();
    answers_->answers = {""};
    window_->Button8->click();
    QCOMPARE(answers_->shown.size(), 1);
    const Shown &shown = answers_->shown.first();
    QCOMPARE(shown.proposedName, "data of battery analyzer");
    QCOMPARE(shown.defaultSuffix, "txt");
    QCOMPARE(shown.acceptMode, QFileDialog::AcceptSave);
    QVERIFY(!shown.native);
    QVERIFY(shown.confirmsOverwrite);
    QCOMPARE(readFile(path("data of battery analyzer.txt")), kLine7 + "\r\n" + kLine12 + "\r\n");
}

void TestFileDialogs::saveProposesTheSameNameEveryTime()
{
    fillBoard();
    answers_->answers = {"readings.csv", "monday", ""};
    for (int i = 0; i < 3; ++i)
        window_->Button8->click();
    QCOMPARE(answers_->shown.size(), 3);
    for (const Shown &shown : answers_->shown) {
        QCOMPARE(shown.proposedName, "data of battery analyzer");
        QCOMPARE(shown.defaultSuffix, "txt");
    }
    const QByteArray board = window_->board().text();
    QCOMPARE(readFile(path("readings.csv")), board); // a typed extension is kept
    QCOMPARE(readFile(path("monday.txt")), board); // a bare name gets ".txt"
    QCOMPARE(readFile(path("data of battery analyzer.txt")), board);
}

void TestFileDialogs::saveAsksBeforeReplacing_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("replace") << QMessageBox::Yes << true;
    QTest::newRow("keep the first day's file") << QMessageBox::No << false;
}

void TestFileDialogs::saveAsksBeforeReplacing()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, replaced);
    const QString target = path("data of battery analyzer.txt");
    QVERIFY(writeFile(target, "first day\r\n"));
    fillBoard();
    ModalBoxUser answerer({answer});
    answers_->answers = {""};
    window_->Button8->click();
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen.first().text.contains("data of battery analyzer.txt"),
             qPrintable(answerer.seen.first().text));
    QCOMPARE(answerer.seen.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(readFile(target), replaced ? window_->board().text() : QByteArray("first day\r\n"));
}

void TestFileDialogs::saveFailureReachesTheErrorDialog()
{
    fillBoard();
    ModalBoxUser answerer;
    const QString missing = path("no such folder/x.txt");
    answers_->answers = {missing};
    window_->Button8->click();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
    QCOMPARE(answerer.seen.first().title, app::programTitle());
    QVERIFY2(answerer.seen.first().text.startsWith("Cannot create file \"" + missing + "\". "),
             qPrintable(answerer.seen.first().text));
    QVERIFY(answerer.seen.first().text.endsWith(u'.'));
}

void TestFileDialogs::openLoadsAndRemembersThePath()
{
    QVERIFY(writeFile(path("a.txt"), "A\nB"));
    QVERIFY(writeFile(path("b.txt"), "C\r\n"));
    answers_->answers = {path("a.txt"), "b.txt", QString()};
    window_->Button16->click();
    QCOMPARE(window_->board().text(), QByteArray("A\r\nB"));
    QTRY_COMPARE(window_->Memo1->toPlainText(), "A\nB");
    window_->Button16->click();
    QCOMPARE(window_->board().text(), QByteArray("C\r\n"));
    window_->Button16->click(); // cancelled

    QCOMPARE(answers_->shown.size(), 3);
    QCOMPARE(answers_->shown[0].proposedName, "");
    QCOMPARE(answers_->shown[0].acceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(answers_->shown[0].fileMode, QFileDialog::AnyFile);
    QCOMPARE(answers_->shown[0].defaultSuffix, "");
    QVERIFY(!answers_->shown[0].native);
    // Each later showing proposes the full path confirmed the time before.
    QCOMPARE(QDir(answers_->shown[1].directory).filePath(answers_->shown[1].proposedName),
             path("a.txt"));
    QCOMPARE(QDir(answers_->shown[2].directory).filePath(answers_->shown[2].proposedName),
             path("b.txt"));
    QCOMPARE(window_->OpenDialog1->FileName(), path("b.txt"));
}

void TestFileDialogs::openFailureKeepsTheBoard()
{
    fillBoard();
    const QByteArray before = window_->board().text();
    ModalBoxUser answerer;
    const QString missing = path("not there.txt");
    answers_->answers = {missing, QString()};
    window_->Button16->click();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text,
             "Cannot open file \"" + missing + "\". No such file or directory.");
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
    // The readings on the board survive a failed open.
    QCOMPARE(window_->board().text(), before);
    QCoreApplication::processEvents();
    QCOMPARE(window_->Memo1->toPlainText(),
             QString(QStringDecoder("GBK").decode(before)).replace("\r\n", "\n"));
    // The failed path is still the one proposed next.
    window_->Button16->click();
    QCOMPARE(QDir(answers_->shown[1].directory).filePath(answers_->shown[1].proposedName), missing);
}

void TestFileDialogs::cancelChangesNothing()
{
    fillBoard();
    QVERIFY(writeFile(path("data of battery analyzer.txt"), "kept"));
    window_->OpenDialog1->setFileName(path("data of battery analyzer.txt"));
    ModalBoxUser answerer;
    answers_->answers = {QString(), QString()};
    window_->Button8->click();
    window_->Button16->click();
    QCOMPARE(answers_->shown.size(), 2);
    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(readFile(path("data of battery analyzer.txt")), QByteArray("kept"));
    QCOMPARE(window_->board().text(), kLine7 + "\r\n" + kLine12 + "\r\n");
    QCOMPARE(window_->OpenDialog1->FileName(), path("data of battery analyzer.txt"));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files).size(), 1);
}

void TestFileDialogs::realSaveDialog()
{
    // Qt's own dialog, shown modally and answered by typing a name and pressing Return.
    window_->SaveDialog1->setPresenter([](QFileDialog &dialog) { return dialog.exec(); });
    fillBoard();
    const QString target = path("typed name");
    QString typedInto;
    FileDialogUser user([&](QLineEdit *field) {
        typedInto = field->text();
        pastePathAndConfirm(field, target);
    });
    window_->Button8->click();
    QCOMPARE(typedInto, "data of battery analyzer");
    QCOMPARE(readFile(target + ".txt"), window_->board().text());
}

void TestFileDialogs::realOpenDialogAfterTheFolderWentAway()
{
    // The file opened last was in a folder that is gone by the next Open; Qt's dialog
    // cannot show that folder, yet the full path must still be what is proposed.
    const QString folder = path("today");
    QVERIFY(QDir().mkdir(folder));
    const QString opened = folder + "/readings.txt";
    QVERIFY(writeFile(opened, "A\r\n"));
    answers_->answers = {opened};
    window_->Button16->click();
    QCOMPARE(window_->board().text(), QByteArray("A\r\n"));
    QVERIFY(QDir(folder).removeRecursively());

    window_->OpenDialog1->setPresenter([](QFileDialog &dialog) { return dialog.exec(); });
    ModalBoxUser answerer;
    QString proposed;
    FileDialogUser user([&](QLineEdit *field) {
        proposed = field->text();
        QTest::keyClick(field, Qt::Key_Return);
    });
    window_->Button16->click();
    QCOMPARE(proposed, opened);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text,
             "Cannot open file \"" + opened + "\". No such file or directory.");
    QCOMPARE(window_->board().text(), QByteArray("A\r\n"));
}

void TestFileDialogs::shownDialog_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("Save") << true;
    QTest::newRow("Open") << false;
}

void TestFileDialogs::shownDialog()
{
    QFETCH(bool, save);
    // Listed in the dialog's folder: a file whose name does not tell its type and whose
    // opening waits while the test holds a lease on it, as a stalled mount would.
    const QString leased = path("readings");
    const int leaseFd = ::open(qPrintable(leased), O_RDWR | O_CREAT, 0600);
    QVERIFY(leaseFd >= 0 && ::write(leaseFd, "GIF89a", 6) == 6);
    std::signal(SIGIO, SIG_IGN); // the lease holder is told of every opening by SIGIO
    QCOMPARE(::fcntl(leaseFd, F_SETLEASE, F_WRLCK), 0);
    const auto release = qScopeGuard([&] {
        ::fcntl(leaseFd, F_SETLEASE, F_UNLCK);
        ::close(leaseFd);
    });

    app::TFileDialog *dialog = save ? window_->SaveDialog1 : window_->OpenDialog1;
    dialog->setPresenter([this](QFileDialog &shown) {
        shown.setDirectory(dir_.path());
        return shown.exec();
    });
    QRect frame;
    int fileTypes = -1;
    bool iconsAnswered = false;
    QElapsedTimer clicked;
    qint64 shownAfterMs = -1;
    FileDialogUser user([&](QLineEdit *field) {
        shownAfterMs = clicked.elapsed();
        auto *shown = qobject_cast<QFileDialog *>(field->window());
        frame = shown->frameGeometry();
        fileTypes = shown->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))->count();
        const QFileInfo info(leased);
        auto asked = std::async(std::launch::async, [&] {
            return shown->iconProvider()->type(info) + shown->iconProvider()->icon(info).name();
        });
        iconsAnswered = asked.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        ::fcntl(leaseFd, F_SETLEASE, F_UNLCK);
        asked.wait();
        QTest::keyClick(field, Qt::Key_Escape);
    });
    clicked.start();
    (save ? window_->Button8 : window_->Button16)->click();
    // Held by the lease, the window would wait until the system breaks it (45 s by default).
    QVERIFY2(shownAfterMs < 15000, qPrintable(QString::number(shownAfterMs)));
    QVERIFY(iconsAnswered);
    QCOMPARE(fileTypes, 0);
    // On the main window's monitor: centred across, a third of the free height above and
    // two thirds below.
    const QRect free = window_->screen()->availableGeometry();
    QVERIFY2(frame.width() < free.width() && frame.height() < free.height(), "no room to place");
    const int left = frame.left() - free.left(), right = free.right() - frame.right();
    const int above = frame.top() - free.top(), below = free.bottom() - frame.bottom();
    QVERIFY2(std::abs(left - right) <= 1, qPrintable(QStringLiteral("%1 %2").arg(left).arg(right)));
    QVERIFY2(std::abs(2 * above - below) <= 2,
             qPrintable(QStringLiteral("%1 %2").arg(above).arg(below)));
}

void TestFileDialogs::aRunLeavesNoSettings()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const auto files = [&] {
        QStringList all;
        QDirIterator it(config, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            all << it.filePath() + " " + it.fileInfo().lastModified().toString(Qt::ISODateWithMs);
        }
        return all;
    };
    const QStringList before = files();
    fillBoard();
    answers_->answers = {QString(), QString()};
    window_->Button8->click();
    window_->Button16->click();
    QCOMPARE(answers_->shown.size(), 2);
    window_.reset();
    QCOMPARE(files(), before);
}

QTEST_MAIN(TestFileDialogs)
#include "tst_file_dialogs.moc"
