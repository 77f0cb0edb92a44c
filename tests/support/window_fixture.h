#pragma once

// The main window as the window suites drive it.
#include "app/file_dialog.h"
#include "app/form1.h"

#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QAbstractButton;
class QLineEdit;

// A new main window, shown at the top left of the screen and active; null when it did not
// become active.
std::unique_ptr<TForm1> openWindow();

// Clicks an enabled button with the mouse; a disabled one fails the test.
void click(QAbstractButton *button);

// Which of Connect, Disconnect, Download Data and Clear Memory can be clicked.
struct ButtonStates {
    bool connect, disconnect, download, clearMemory;
    bool operator==(const ButtonStates &) const = default;
};
inline constexpr ButtonStates kDisconnected{true, false, false, false};
inline constexpr ButtonStates kConnected{false, true, true, true};
ButtonStates states(const TForm1 &window);

// Board text as the view must show it: GBK decoded, each line break one newline.
QString displayed(const QByteArray &boardText);
// The view shows exactly the board's text.
bool viewAgrees(TForm1 &window);

// Answers a file dialog through its seam with `path`, as a user confirming it would; then
// runs `after`.
app::TFileDialog::Presenter answerWith(const QString &path,
                                       const std::function<void()> &after = {});

// Puts path into the file dialog's name field whole, as a paste does, and clicks Open or
// Save. Typed key by key, a path races the dialog's completer and its file-system thread,
// which now and then leave only the last part of it.
void pastePathAndConfirm(QLineEdit *nameField, const QString &path);

// Acts as the user once Qt's own file dialog shows modally: `act` gets the dialog's name
// field to read, type into and confirm.
class FileDialogUser {
public:
    explicit FileDialogUser(std::function<void(QLineEdit *)> act);

private:
    std::function<void(QLineEdit *)> act_;
    QTimer poll_;
};
