#pragma once

#include <QPushButton>
#include <QStringList>

class QFontMetrics;

namespace app {

// Splits text into lines no wider than `width`, breaking only at spaces: a run of spaces
// where a line breaks is dropped, spaces at the start of the text stay, and a word wider
// than `width` keeps a line of its own.
QStringList wrapAtSpaces(const QString &text, const QFontMetrics &metrics, int width);

// A push button whose caption wraps at spaces onto further lines, each centred, when it is
// wider than the button. text() stays the caption exactly as set; only the drawing wraps.
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    // The caption's lines as drawn at the button's current size.
    QStringList wrappedLines() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect captionRect() const;
};

} // namespace app
