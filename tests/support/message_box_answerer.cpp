#include "message_box_answerer.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxAnswerer::MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers)
    : answers_(std::move(answers))
{
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::answerOpenBox);
    timer_.start();
}

void MessageBoxAnswerer::answerOpenBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    QWidget *parent = box->parentWidget();
    seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                 box->frameGeometry(),
                 parent ? QString::fromLatin1(parent->metaObject()->className()) : QString(),
                 box->textFormat()});
    const QMessageBox::StandardButton answer =
        answers_.isEmpty() ? QMessageBox::Ok : answers_.takeFirst();
    if (QAbstractButton *button = box->button(answer))
        button->click();
    else
        box->reject();
}
