#include "app/wrapping_button.h"

#include <QFontMetrics>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace app {

QStringList wrapAtSpaces(const QString &text, const QFontMetrics &metrics, int width)
{
    QStringList lines;
    QString line;
    qsizetype i = 0;
    while (i < text.size()) {
        // The spaces before the next word, then the word.
        qsizetype wordStart = i;
        while (wordStart < text.size() && text[wordStart] == u' ')
            ++wordStart;
        qsizetype wordEnd = wordStart;
        while (wordEnd < text.size() && text[wordEnd] != u' ')
            ++wordEnd;
        const QString spaces = text.mid(i, wordStart - i);
        const QString word = text.mid(wordStart, wordEnd - wordStart);
        i = wordEnd;
        if (word.isEmpty()) // trailing spaces
            break;
        const QString joined = line + spaces + word;
        if (line.isEmpty() || metrics.horizontalAdvance(joined) <= width)
            line = joined;
        else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    return lines;
}

QRect WrappingButton::captionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

QStringList WrappingButton::wrappedLines() const
{
    return wrapAtSpaces(text(), fontMetrics(), captionRect().width());
}

void WrappingButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect area = captionRect();
    if (isDown()) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    const QStringList lines = wrappedLines();
    const int lineHeight = fontMetrics().height();
    QRect lineRect(area.left(), area.center().y() + 1 - int(lines.size()) * lineHeight / 2,
                   area.width(), lineHeight);
    for (const QString &line : lines) {
        painter.drawItemText(lineRect, Qt::AlignCenter | Qt::TextSingleLine, option.palette,
                             isEnabled(), line, QPalette::ButtonText);
        lineRect.translate(0, lineHeight);
    }

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace app

// Compiled with this file rather than on its own: Qt's headers are read once.
#include "moc_wrapping_button.cpp"
