#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QRect>
#include <QTimer>

// Answers the modal message boxes that open while it lives, in order, and records what each
// one showed. Boxes beyond the given answers get OK.
class MessageBoxAnswerer : public QObject {
    Q_OBJECT
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QRect frame;
        QString parentClass;
        Qt::TextFormat format;
    };

    explicit MessageBoxAnswerer(QList<QMessageBox::StandardButton> answers = {});

    QList<Seen> seen;

private:
    void answerOpenBox();

    QList<QMessageBox::StandardButton> answers_;
    QTimer timer_;
};
