#include "modal_box_user.h"

#include "app/form1.h"
#include "boardview/board_view.h"

#include <QAbstractButton>
#include <QApplication>

ModalBoxUser::ModalBoxUser(QList<QMessageBox::StandardButton> answers) : messageBoxesOnly_(true)
{
    for (const QMessageBox::StandardButton answer : answers)
        steps_.append({{},
                       [] { return true; },
                       [answer](QWidget *modal) {
                           auto *box = qobject_cast<QMessageBox *>(modal);
                           if (QAbstractButton *button = box ? box->button(answer) : nullptr)
                               button->click();
                           else if (box)
                               box->reject();
                       }});
    connect(&timer_, &QTimer::timeout, this, &ModalBoxUser::tick);
    timer_.start(10);
}

ModalBoxUser::ModalBoxUser(TForm1 &window, QList<Step> steps)
    : window_(&window), steps_(std::move(steps))
{
    connect(&timer_, &QTimer::timeout, this, &ModalBoxUser::tick);
    timer_.start(10);
}

bool ModalBoxUser::idle() const
{
    return !QApplication::activeModalWidget();
}

void ModalBoxUser::tick()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    auto *messageBox = qobject_cast<QMessageBox *>(modal);
    if (messageBoxesOnly_ && !messageBox)
        return;
    if (modal == active_) {
        const Step &step = steps_[next_];
        if (step.settled && !step.settled() && waited_.elapsed() < 5000)
            return;
        Box &box = seen[activeBox_];
        box.settled = !step.settled || step.settled();
        if (window_) {
            box.board = window_->board().text();
            box.view = window_->Memo1->toPlainText();
        }
        closeLater(modal, step.close);
        active_ = nullptr;
        ++next_;
        return;
    }
    for (const QPointer<QWidget> &done : done_)
        if (done == modal)
            return;
    done_.append(modal);
    Box box;
    box.kind = QString::fromLatin1(modal->metaObject()->className());
    box.title = modal->windowTitle();
    box.frame = modal->frameGeometry();
    if (QWidget *parent = modal->parentWidget())
        box.parentClass = QString::fromLatin1(parent->metaObject()->className());
    if (messageBox) {
        box.text = messageBox->text();
        box.icon = messageBox->icon();
        box.buttons = messageBox->standardButtons();
        box.format = messageBox->textFormat();
    }
    seen.append(box);
    // A box over the one a step waits on is not that step's: it is closed at once.
    if (!active_ && next_ < steps_.size()) {
        active_ = modal;
        activeBox_ = seen.size() - 1;
        seen.last().step = next_;
        waited_.start();
        if (steps_[next_].act)
            steps_[next_].act();
    } else {
        closeLater(modal, {});
    }
}

// From the event loop, not from the tick: closing may open a further box, whose own event
// loop must see the timer fire again.
void ModalBoxUser::closeLater(QWidget *modal, const std::function<void(QWidget *)> &close)
{
    QTimer::singleShot(0, modal, [modal, close] {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (close)
            close(modal);
        else if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    });
}
