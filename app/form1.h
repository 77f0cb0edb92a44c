#pragma once

#include "app/languages.h"
#include "board/data_board.h"
#include "link/fault.h"
#include "link/protocol.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class TMSComm;

namespace analyzer {
class Session;
}

namespace boardview {
class BoardView;
}

namespace app {
class TFileDialog;
class WrappingButton;
} // namespace app

// The main window. Every component is a member under its own name, which is also its
// object name. The handlers pass clicks on to the analyzer session (link/) and the data
// board (board/) and keep the connection's button states; every one of them runs under the
// one error catch of bind().
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Creates the serial control as a child of the window. A failure here is a failure to
    // build the window.
    using CommFactory = std::function<TMSComm *(QObject *parent)>;
    static TMSComm *createComm(QObject *parent);

    explicit TForm1(const CommFactory &makeComm = &TForm1::createComm);
    ~TForm1() override;

    board::DataBoard &board() { return board_; }

    // Components.
    QMenuBar *MainMenu1 = nullptr;
    QMenu *Language1 = nullptr;
    QAction *N1 = nullptr;
    QAction *English1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label14 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    boardview::BoardView *Memo1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    app::WrappingButton *Button14 = nullptr;
    app::WrappingButton *Button4 = nullptr;
    QPushButton *Button8 = nullptr;
    QPushButton *Button16 = nullptr;
    QPushButton *Button7 = nullptr;
    QPushButton *Button3 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    TMSComm *MSComm1 = nullptr;
    QTimer *Timer2 = nullptr;
    app::TFileDialog *OpenDialog1 = nullptr;
    app::TFileDialog *SaveDialog1 = nullptr;

    // Handlers.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Button14Click();
    void Button4Click();
    void Button8Click();
    void Button16Click();
    void Button7Click();
    void Button3Click();
    void Timer2Timer();
    void N1Click();
    void English1Click();

    // What the analyzer sends besides readings, as the session reports it.
    void receiveNoData();
    void receiveFailure(const analyzer::LinkFault &fault);
    void deviceLost(const analyzer::LinkFault &fault);

protected:
    bool event(QEvent *event) override;

private:
    void buildMenu();
    void buildControls();
    void setSizeLimits();
    void setTabOrderAndFocus();
    void connectHandlers();
    // Connected: Disconnect, Download Data and Clear Memory enabled, Connect disabled.
    void setLinkButtons(bool connected);
    void sendCommand(void (analyzer::Session::*command)());

    template <class Sender, class Signal>
    void bind(Sender *sender, Signal signal, void (TForm1::*handler)());

    board::DataBoard board_;
    analyzer::Session *session_ = nullptr;
    // A no-data reply that arrives while the box of an earlier one is open shows no
    // second box: at the line rate they would pile up without end.
    bool noDataBoxOpen_ = false;
};

// The one main window, from its construction until it is destroyed.
extern TForm1 *Form1;
