#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <functional>

class TForm1;

// Plays the user while modal boxes are open, and records what each box showed.
//
// Each box in turn gets the next step: the step's `act` runs once the box shows, the box
// waits until `settled` holds (5 s at most), what the window's board and view held by then
// is noted with the box still open, and only then is the box closed. Boxes beyond the steps,
// or opening over a step's box, are noted and closed at once: OK, or the dialog rejected.
class ModalBoxUser : public QObject {
public:
    struct Step {
        std::function<void()> act;
        std::function<bool()> settled;
        std::function<void(QWidget *)> close; // default: OK, or the dialog rejected
    };
    struct Box {
        QString kind; // the box's class
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QRect frame;
        QString parentClass;
        Qt::TextFormat format = Qt::AutoText;
        qsizetype step = -1; // the step it was given to, if any
        bool settled = false;
        QByteArray board; // with a window: its board and view when the step settled
        QString view;
    };

    // Answers message boxes with these buttons in turn, and with OK beyond them; other
    // modal dialogs are left to the test.
    explicit ModalBoxUser(QList<QMessageBox::StandardButton> answers = {});
    // Gives every modal box, message box or dialog, its step in turn.
    ModalBoxUser(TForm1 &window, QList<Step> steps);

    QList<Box> seen;
    bool idle() const;

private:
    void tick();
    static void closeLater(QWidget *modal, const std::function<void(QWidget *)> &close);

    TForm1 *window_ = nullptr;
    bool messageBoxesOnly_ = false;
    QList<Step> steps_;
    qsizetype next_ = 0;
    QPointer<QWidget> active_;
    qsizetype activeBox_ = -1;
    QList<QPointer<QWidget>> done_;
    QElapsedTimer waited_;
    QTimer timer_;
};
