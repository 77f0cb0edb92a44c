#pragma once

#include "report/batch.h"

#include <QByteArray>
#include <QString>

namespace report {

// The whole report as one HTML file in UTF-8: its style and its charts inline, no script,
// and a content security policy that lets the page load nothing from anywhere, so that it
// reads the same from a mail attachment, a USB stick or a printer. Raises EUnknownPackCell
// when the pack names a cell the batch does not hold.
QByteArray reportHtml(const Batch &batch, Language language);

// The report's opening as an HTML fragment for a page of another's: its summary (counts,
// statistics, rules) and the resistance and voltage histograms, styled by kChartStyle.
QString openingHtml(const Batch &batch, Language language);

} // namespace report
