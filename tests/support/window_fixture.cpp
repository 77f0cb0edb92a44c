#include "window_fixture.h"

#include "app/wrapping_button.h"
#include "boardview/board_view.h"

#include <QtTest>
#include <QtWidgets>

std::unique_ptr<TForm1> openWindow()
{
    auto window = std::make_unique<TForm1>();
    window->move(0, 0);
    window->show();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    return window;
}

void click(QAbstractButton *button)
{
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
}

ButtonStates states(const TForm1 &w)
{
    return {w.Button1->isEnabled(), w.Button2->isEnabled(), w.Button14->isEnabled(),
            w.Button4->isEnabled()};
}

QString displayed(const QByteArray &boardText)
{
    // A plain decoder, independent of the view's own: it differs from the view only where a
    // lead byte is followed by a CR or LF, which no board line of the program holds.
    QString text = QStringDecoder("GBK").decode(boardText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

bool viewAgrees(TForm1 &w)
{
    return w.Memo1->toPlainText() == displayed(w.board().text());
}

app::TFileDialog::Presenter answerWith(const QString &path, const std::function<void()> &after)
{
    return [path, after](QFileDialog &dialog) {
        dialog.selectFile(path);
        static_cast<QDialog &>(dialog).accept();
        if (after)
            after();
        return dialog.result();
    };
}

FileDialogUser::FileDialogUser(std::function<void(QLineEdit *)> act) : act_(std::move(act))
{
    QObject::connect(&poll_, &QTimer::timeout, [this] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll_.stop();
        act_(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")));
    });
    poll_.start(20);
}

void pastePathAndConfirm(QLineEdit *field, const QString &path)
{
    auto *dialog = qobject_cast<QFileDialog *>(field->window());
    field->setFocus();
    field->selectAll();
    field->insert(path);
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    buttons
        ->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                 : QDialogButtonBox::Open)
        ->click();
}
