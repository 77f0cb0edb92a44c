// The start-up benchmark's nearest baseline: a plain Qt program that builds the window's
// controls, with the same places, texts, fonts and colours, and nothing behind them (no
// settings, ports, board model or clock). What the program costs beyond it is its own.
#include "app/languages.h"
#include "reading/reading.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

namespace {

QFont arial(int pixels, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

template <class Control>
Control *place(Control *control, const char *name, const QRect &geometry)
{
    control->setObjectName(QLatin1StringView(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("plain window    http://battery-analyzer.example.com"));
    QMenu *language = window.menuBar()->addMenu(QString::fromUtf16(u"语言(Language)"));
    language->addAction(QString::fromUtf16(u"中文"))->setShortcut(Qt::CTRL | Qt::Key_Z);
    language->addAction(QStringLiteral("English"))->setShortcut(Qt::CTRL | Qt::Key_E);

    auto *client = new QWidget(&window);
    QPalette sky = client->palette();
    sky.setColor(QPalette::Window, QColor(166, 202, 240));
    client->setPalette(sky);
    client->setAutoFillBackground(true);
    window.setCentralWidget(client);

    auto *port = place(new QGroupBox(client), "GroupBox1", {8, 8, 153, 73});
    port->setFont(arial(19, true));
    place(new QLabel(QStringLiteral("COM"), port), "Label14", {24, 34, 46, 22});
    auto *number = place(new QComboBox(port), "ComboBox1", {80, 32, 49, 27});
    number->setFont(arial(16, true));
    number->setEditable(true);
    for (int n = 1; n <= 10; ++n)
        number->addItem(QString::number(n));
    auto *model = place(new QGroupBox(client), "GroupBox2", {168, 8, 329, 73});
    model->setFont(arial(19, true));
    const QRect models[] = {{16, 32, 105, 25}, {120, 32, 105, 25}, {224, 32, 89, 25}};
    for (int m = 0; m < 3; ++m)
        place(new QRadioButton(QLatin1StringView(reading::kModelNames[m]), model), "", models[m])
            ->setChecked(m == 0);

    auto *board = place(new QPlainTextEdit(client), "Memo1", {8, 88, 377, 313});
    board->setReadOnly(true);
    board->setFont(arial(19, true));

    const struct {
        const char *name;
        QRect place;
        bool enabled;
    } buttons[] = {
        {"Button1", {392, 88, 105, 33}, true},    {"Button2", {392, 120, 105, 33}, false},
        {"Button14", {392, 160, 105, 49}, false}, {"Button4", {392, 208, 105, 49}, false},
        {"Button8", {392, 264, 105, 33}, true},   {"Button16", {392, 296, 105, 33}, true},
        {"Button7", {392, 328, 105, 33}, true},   {"Button3", {392, 368, 105, 33}, true},
    };
    for (const auto &b : buttons) {
        auto *button = place(new QPushButton(client), b.name, b.place);
        button->setFont(arial(16, true));
        button->setEnabled(b.enabled);
    }
    // The captions and hints in English, from the program's own table.
    app::applyLanguage(*client, app::Language::English);
    client->setFont(arial(19, false));

    window.statusBar()->setFixedHeight(28);
    window.statusBar()->showMessage(QStringLiteral(" Now: ")
                                    + QLocale().toString(QDateTime::currentDateTime()));
    window.resize(502, 434 + window.menuBar()->sizeHint().height());
    window.show();
    return app.exec();
}
