#include "report/svg.h"

namespace report {

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        case '\'': out += QStringLiteral("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

QString coordinate(double v)
{
    return QString::number(v, 'f', 1);
}

Plot::Plot(const QString &id, const QString &description, Axis x, Axis y) : x_(x), y_(y)
{
    // The description names the picture for a screen reader as well as describing it.
    svg_ =
        QStringLiteral("<svg id=\"%1\" class=\"chart\" viewBox=\"0 0 %2 %3\" role=\"img\" "
                       "aria-label=\"%4\" xmlns=\"http://www.w3.org/2000/svg\"><desc>%4</desc>\n")
            .arg(id)
            .arg(kWidth)
            .arg(kHeight)
            .arg(escaped(description));
}

void Plot::axes(const QString &xTitle, const QString &yTitle)
{
    svg_ += QStringLiteral("<g class=\"axis\">");
    for (double t : x_.ticks()) {
        const QString px = coordinate(x(t));
        svg_ += QStringLiteral(
                    "<line class=\"grid\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>"
                    "<text class=\"tick\" x=\"%1\" y=\"%4\" text-anchor=\"middle\">%5</text>")
                    .arg(px, coordinate(kTop), coordinate(kBottom), coordinate(kBottom + 16),
                         x_.tickText(t));
    }
    for (double t : y_.ticks()) {
        const QString py = coordinate(y(t));
        svg_ += QStringLiteral(
                    "<line class=\"grid\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>"
                    "<text class=\"tick\" x=\"%4\" y=\"%3\" dy=\"4\" text-anchor=\"end\">%5</text>")
                    .arg(coordinate(kLeft), coordinate(kRight), py, coordinate(kLeft - 6),
                         y_.tickText(t));
    }
    svg_ += QStringLiteral("<rect class=\"frame\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>")
                .arg(coordinate(kLeft), coordinate(kTop), coordinate(kRight - kLeft),
                     coordinate(kBottom - kTop));
    svg_ += QStringLiteral(
                "<text class=\"title x-title\" x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                .arg(coordinate((kLeft + kRight) / 2), coordinate(kBottom + 40), escaped(xTitle));
    svg_ +=
        QStringLiteral("<text class=\"title y-title\" transform=\"translate(18 %1) rotate(-90)\" "
                       "text-anchor=\"middle\">%2</text></g>\n")
            .arg(coordinate((kTop + kBottom) / 2), escaped(yTitle));
}

void Plot::verticalLimit(double value, const QString &caption)
{
    // The caption goes on the side of the line with more room, so that it stays inside.
    const double px = x(value);
    const bool right = px < (kLeft + kRight) / 2;
    svg_ += QStringLiteral("<g class=\"limit\"><line x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>"
                           "<text x=\"%1\" dx=\"%4\" y=\"%5\" text-anchor=\"%6\">%7</text></g>\n")
                .arg(coordinate(px), coordinate(kTop), coordinate(kBottom),
                     right ? QStringLiteral("4") : QStringLiteral("-4"), coordinate(kTop + 14),
                     right ? QStringLiteral("start") : QStringLiteral("end"), escaped(caption));
}

void Plot::horizontalLimit(double value, const QString &caption)
{
    const QString py = coordinate(y(value));
    svg_ += QStringLiteral(
                "<g class=\"limit\"><line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>"
                "<text x=\"%2\" dx=\"-4\" y=\"%3\" dy=\"-4\" text-anchor=\"end\">%4</text></g>\n")
                .arg(coordinate(kLeft), coordinate(kRight), py, escaped(caption));
}

QString Plot::finish()
{
    svg_ += QStringLiteral("</svg>");
    return svg_;
}

} // namespace report
