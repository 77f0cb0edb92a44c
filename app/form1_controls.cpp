// The window's controls: places, fonts, colours and initial states. Geometry is in pixels
// relative to the client area below the menu bar, or to the group box that holds a control.
#include "app/app_icon.h"
#include "app/form1.h"
#include "app/wrapping_button.h"
#include "boardview/board_view.h"
#include "reading/reading.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QStatusBar>

#include <cmath>

namespace {

const QColor kSkyBlue(166, 202, 240);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
constexpr QSize kClientSize(502, 434);
constexpr int kStatusBarHeight = 28;

QFont arial(int pixels, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Black text reads on the desktop's window colour unless a dark theme made that dark: then
// the board takes white, as the window colour is on a light desktop. The line is a contrast
// of 4.5 to 1, the usual minimum for text.
bool blackReadsOn(const QColor &ground)
{
    const auto linear = [](float v) {
        return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
    };
    const float luminance = 0.2126f * linear(ground.redF()) + 0.7152f * linear(ground.greenF())
        + 0.0722f * linear(ground.blueF());
    return (luminance + 0.05f) / 0.05f >= 4.5f;
}

template <class Control>
Control *place(Control *control, const char *name, const QRect &geometry)
{
    control->setObjectName(QLatin1StringView(name));
    control->setGeometry(geometry);
    return control;
}

// Disabled captions keep the style's grey.
void setCaptionColour(QWidget *button, const QColor &colour)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::Active, QPalette::ButtonText, colour);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
    button->setPalette(palette);
}

template <class Button>
Button *button(QWidget *parent, const char *name, const QRect &geometry, const QColor &colour,
               bool enabled)
{
    auto *b = place(new Button(parent), name, geometry);
    b->setFont(arial(16, true));
    setCaptionColour(b, colour);
    b->setEnabled(enabled);
    b->setAutoDefault(false);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

void TForm1::buildMenu()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    Language1 = MainMenu1->addMenu(QString::fromUtf16(u"语言(Language)"));
    Language1->setObjectName(QStringLiteral("Language1"));
    N1 = Language1->addAction(QString::fromUtf16(u"中文"));
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    English1 = Language1->addAction(QStringLiteral("English"));
    English1->setObjectName(QStringLiteral("English1"));
    English1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
}

void TForm1::buildControls()
{
    setWindowTitle(QStringLiteral("Battery Analyzer    http://battery-analyzer.example.com"));
    setWindowIcon(app::appIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    auto *client = new QWidget(this);
    QPalette sky = client->palette();
    sky.setColor(QPalette::Window, kSkyBlue);
    // Black text whatever the desktop's palette: a dark theme's light text would vanish on
    // the fixed sky blue. Every control inherits it; the buttons set their own captions, and
    // disabled text keeps the style's grey.
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            sky.setColor(group, role, Qt::black);
    client->setPalette(sky);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    GroupBox1 = place(new QGroupBox(client), "GroupBox1", {8, 8, 153, 73});
    GroupBox1->setFont(arial(19, true));
    Label14 = place(new QLabel(QStringLiteral("COM"), GroupBox1), "Label14", {24, 34, 46, 22});
    Label14->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ComboBox1 = place(new QComboBox(GroupBox1), "ComboBox1", {80, 32, 49, 27});
    ComboBox1->setFont(arial(16, true));
    ComboBox1->setEditable(true);
    // Typed text is only read on Connect: never added to the list, never completed.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setCompleter(nullptr);
    for (int port = 1; port <= 10; ++port)
        ComboBox1->addItem(QString::number(port));
    ComboBox1->setMaxVisibleItems(8);
    ComboBox1->setCurrentIndex(0);
    QPalette field = ComboBox1->palette();
    field.setColor(QPalette::Base, kSkyBlue);
    ComboBox1->setPalette(field);
    ComboBox1->setCursor(Qt::PointingHandCursor);
    ComboBox1->lineEdit()->setCursor(Qt::PointingHandCursor);

    GroupBox2 = place(new QGroupBox(client), "GroupBox2", {168, 8, 329, 73});
    GroupBox2->setFont(arial(19, true));
    const auto modelButton = [this](reading::Model model) {
        return new QRadioButton(QString::fromLatin1(reading::modelName(model)), GroupBox2);
    };
    RadioButton1 = place(modelButton(reading::Model::RM40A), "RadioButton1", {16, 32, 105, 25});
    RadioButton2 = place(modelButton(reading::Model::RM40B), "RadioButton2", {120, 32, 105, 25});
    RadioButton3 = place(modelButton(reading::Model::RM40C), "RadioButton3", {224, 32, 89, 25});
    for (QRadioButton *radio : {RadioButton1, RadioButton2, RadioButton3})
        radio->setCursor(Qt::PointingHandCursor);
    RadioButton1->setChecked(true);

    Memo1 = place(new boardview::BoardView(board_, client), "Memo1", {8, 88, 377, 313});
    Memo1->setFont(arial(19, true));
    if (!blackReadsOn(Memo1->palette().color(QPalette::Base))) {
        QPalette ground = Memo1->palette();
        ground.setColor(QPalette::Base, Qt::white);
        Memo1->setPalette(ground);
    }

    const QColor black(Qt::black);
    Button1 = button<QPushButton>(client, "Button1", {392, 88, 105, 33}, black, true);
    Button2 = button<QPushButton>(client, "Button2", {392, 120, 105, 33}, black, false);
    Button14 = button<app::WrappingButton>(client, "Button14", {392, 160, 105, 49}, kRed, false);
    Button4 = button<app::WrappingButton>(client, "Button4", {392, 208, 105, 49}, kRed, false);
    Button8 = button<QPushButton>(client, "Button8", {392, 264, 105, 33}, kBlue, true);
    Button16 = button<QPushButton>(client, "Button16", {392, 296, 105, 33}, kBlue, true);
    Button7 = button<QPushButton>(client, "Button7", {392, 328, 105, 33}, kBlue, true);
    Button3 = button<QPushButton>(client, "Button3", {392, 368, 105, 33}, black, true);

    // The controls' default font goes on last: the data board lays its text out as it is
    // made, and would load a face at the inherited size and weight (which no control draws
    // with) only to drop it again for its own. Each face costs a fontconfig match at start.
    client->setFont(arial(19, false));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(kStatusBarHeight);
    setStatusBar(StatusBar1);
}

void TForm1::setSizeLimits()
{
    // The client area below the menu bar, status bar included, is 502 x 434; the frame may
    // be dragged out by two pixels each way and no further.
    const QSize size(kClientSize.width(),
                     MainMenu1->heightForWidth(kClientSize.width()) + kClientSize.height());
    resize(size);
    setMinimumSize(size);
    setMaximumSize(size + QSize(2, 2));
}

void TForm1::setTabOrderAndFocus()
{
    // Of the model buttons only the selected one is a tab stop, wherever it stands in the
    // group; a click still gives any of them the focus.
    for (QRadioButton *radio : {RadioButton1, RadioButton2, RadioButton3}) {
        const auto followSelection = [radio](bool checked) {
            radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        };
        followSelection(radio->isChecked());
        connect(radio, &QRadioButton::toggled, radio, followSelection);
    }
    const QList<QWidget *> order{ComboBox1, RadioButton1, RadioButton2, RadioButton3, Button1,
                                 Button2,   Button14,     Button8,      Button16,     Button7,
                                 Button3,   Memo1,        Button4};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    ComboBox1->setFocus();
}
