#pragma once

#include "report/axis.h"

#include <QString>

namespace report {

// Text for SVG and HTML: &, <, > and quotes escaped.
QString escaped(const QString &text);
// A coordinate with one decimal, the precision a chart needs and no more.
QString coordinate(double v);

// A chart's drawing area in a fixed view box, with its two axes, written as SVG. The view
// box scales to the page; every chart has the same shape so that they line up in print.
class Plot {
public:
    static constexpr double kWidth = 640;
    static constexpr double kHeight = 340;
    static constexpr double kLeft = 72;
    static constexpr double kRight = 620;
    static constexpr double kTop = 16;
    static constexpr double kBottom = 280;

    Plot(const QString &id, const QString &description, Axis x, Axis y);

    double x(double value) const { return kLeft + x_.fraction(value) * (kRight - kLeft); }
    double y(double value) const { return kBottom - y_.fraction(value) * (kBottom - kTop); }

    // Grid, ticks with their values, and the axis titles (units in them).
    void axes(const QString &xTitle, const QString &yTitle);
    // A dashed vertical (or horizontal) line at a rule's limit, with its caption.
    void verticalLimit(double value, const QString &caption);
    void horizontalLimit(double value, const QString &caption);

    QString &body() { return svg_; }
    // The finished <svg> element.
    QString finish();

private:
    Axis x_;
    Axis y_;
    QString svg_;
};

} // namespace report
