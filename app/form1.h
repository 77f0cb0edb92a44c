#pragma once

#include "app/languages.h"
#include "board/data_board.h"
#include "link/connection.h"

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

namespace app {
class BoardView;
class TFileDialog;
class WrappingButton;
} // namespace app

// The main window. Every component is a member under its own name, which is also its
// object name. The handlers only pass clicks on to the connection (link/) and the data
// board (board/); every one of them runs under the one error catch of bind().
class TForm1 : public QMainWindow, public analyzer::ConnectionView {
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
    app::BoardView *Memo1 = nullptr;
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
    void comm1comm();
    void Timer2Timer();
    void N1Click();
    void English1Click();

    // analyzer::ConnectionView
    QString portText() const override;
    bool rm40aSelected() const override;
    void setButtonEnabled(analyzer::LinkButton button, bool enabled) override;
    void showNoData() override;

protected:
    bool event(QEvent *event) override;

private:
    void buildMenu();
    void buildControls();
    void setSizeLimits();
    void setTabOrderAndFocus();
    void connectHandlers();
    void applyLanguage(app::Language language);

    template <class Sender, class Signal>
    void bind(Sender *sender, Signal signal, void (TForm1::*handler)());

    board::DataBoard board_;
    std::unique_ptr<analyzer::Connection> connection_;
};

// The one main window, from its construction until it is destroyed.
extern TForm1 *Form1;
