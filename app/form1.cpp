#include "app/form1.h"

#include "app/clock_text.h"
#include "app/error_dialog.h"
#include "app/file_dialog.h"
#include "app/link_faults.h"
#include "app/menu_shortcut_filter.h"
#include "app/no_data_box.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
#include "link/port_text.h"
#include "link/session.h"
#include "link/tmscomm.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTimer>

TForm1 *Form1 = nullptr;

TMSComm *TForm1::createComm(QObject *parent)
{
    return new TMSComm(parent);
}

TForm1::TForm1(const CommFactory &makeComm)
{
    buildMenu();
    buildControls();
    setSizeLimits();

    MSComm1 = makeComm(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    Timer2->start();

    OpenDialog1 = new app::TFileDialog(app::TFileDialog::Kind::Open, this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    SaveDialog1 = new app::TFileDialog(app::TFileDialog::Kind::Save, this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));

    session_ = new analyzer::Session(*MSComm1, this);

    setTabOrderAndFocus();
    connectHandlers();
    Form1 = this;
    FormCreate();
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

template <class Sender, class Signal>
void TForm1::bind(Sender *sender, Signal signal, void (TForm1::*handler)())
{
    // The one place where errors of handlers are caught.
    connect(sender, signal, this,
            [this, handler] { app::runHandler([this, handler] { (this->*handler)(); }); });
}

void TForm1::connectHandlers()
{
    bind(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(Button14, &QPushButton::clicked, &TForm1::Button14Click);
    bind(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(Button16, &QPushButton::clicked, &TForm1::Button16Click);
    bind(Button7, &QPushButton::clicked, &TForm1::Button7Click);
    bind(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(N1, &QAction::triggered, &TForm1::N1Click);
    bind(English1, &QAction::triggered, &TForm1::English1Click);
    bind(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
    connect(session_, &analyzer::Session::reading, this,
            [this](const reading::Reading &, const QByteArray &line) { board_.AppendLine(line); });
    connect(session_, &analyzer::Session::noData, this, &TForm1::receiveNoData);
    connect(session_, &analyzer::Session::receiveFailed, this, &TForm1::receiveFailure);
    connect(session_, &analyzer::Session::deviceLost, this, &TForm1::deviceLost);
    // A Download that went out late and failed, and a download whose records could not all
    // be placed, are shown like any other error.
    connect(session_, &analyzer::Session::commandFailed, this, &TForm1::receiveFailure);
    connect(session_, &analyzer::Session::transferDisturbed, this, &TForm1::receiveFailure);
    // Only RM-40A decodes differently; the other two models are never asked.
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool rm40a) {
        session_->setModel(rm40a ? analyzer::AnalyzerModel::RM40A : analyzer::AnalyzerModel::RM40B);
    });

    // The editable COM field would take Ctrl+Z as undo (and Ctrl+E as end of line); the
    // language commands come first wherever the focus is.
    auto *filter = new app::MenuShortcutFilter({N1, English1}, this);
    filter->watch(ComboBox1);
    filter->watch(ComboBox1->lineEdit());
}

void TForm1::FormCreate()
{
    board_.ClearBoard();
    English1->trigger();
}

bool TForm1::event(QEvent *event)
{
    // Menu items would put their (empty) status tips over the clock.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

// Connection.

void TForm1::Button1Click()
{
    session_->open(analyzer::portTextToNumber(ComboBox1->currentText()));
    setLinkButtons(true);
}

void TForm1::sendCommand(void (analyzer::Session::*command)())
{
    // A command that cannot go out leaves the port open while the device is there (the user
    // may try again) and closed once it went away: the buttons follow the port.
    auto buttons = qScopeGuard([this] { setLinkButtons(session_->isOpen()); });
    (session_->*command)();
}

void TForm1::Button2Click()
{
    sendCommand(&analyzer::Session::close);
}

void TForm1::Button14Click()
{
    sendCommand(&analyzer::Session::download);
}

void TForm1::Button4Click()
{
    sendCommand(&analyzer::Session::clearMemory);
}

void TForm1::setLinkButtons(bool connected)
{
    // The order is part of what the window shows: Connect first, then Disconnect, Clear
    // Memory and Download Data.
    Button1->setEnabled(!connected);
    Button2->setEnabled(connected);
    Button4->setEnabled(connected);
    Button14->setEnabled(connected);
}

void TForm1::receiveNoData()
{
    if (noDataBoxOpen_)
        return;
    noDataBoxOpen_ = true;
    auto reset = qScopeGuard([this] { noDataBoxOpen_ = false; });
    app::showNoDataBox(this);
}

void TForm1::receiveFailure(const analyzer::LinkFault &fault)
{
    // A Download that went out late may have found its device gone.
    setLinkButtons(session_->isOpen());
    app::showErrorDialog(app::linkFaultText(fault));
}

void TForm1::deviceLost(const analyzer::LinkFault &fault)
{
    setLinkButtons(false);
    app::showErrorDialog(app::linkFaultText(fault));
}

// Data board and files.

void TForm1::Button7Click()
{
    board_.ClearBoard();
}

void TForm1::Button8Click()
{
    // Set anew every time: a name chosen before is not proposed again.
    SaveDialog1->setFileName(QStringLiteral("data of battery analyzer"));
    SaveDialog1->setDefaultExt(QStringLiteral("txt"));
    if (SaveDialog1->Execute())
        board_.SaveBoard(SaveDialog1->FileName());
}

void TForm1::Button16Click()
{
    // The board is replaced only once the file has been read, so a failed open keeps it.
    if (OpenDialog1->Execute())
        board_.LoadBoard(OpenDialog1->FileName());
}

// Window, clock and languages.

void TForm1::Button3Click()
{
    close();
}

void TForm1::Timer2Timer()
{
    StatusBar1->showMessage(app::statusClockText(QDateTime::currentDateTime(), QLocale()));
}

void TForm1::N1Click()
{
    app::applyLanguage(*this, app::Language::Chinese);
}

void TForm1::English1Click()
{
    app::applyLanguage(*this, app::Language::English);
}

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_form1.cpp"
