#include "report/labels.h"

#include "report/errors.h"
#include "report/units.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <memory>
#include <qrencode.h>

namespace report {

namespace {

constexpr int kResolution = 1200; // dots per inch of the PDF's drawing
constexpr double kMarginMm = 1.5;
constexpr double kQuietModules = 2; // white border around the code, in modules
constexpr double kSmallestPoint = 5; // still readable on a 300 dpi label printer
constexpr double kFirstLineShare = 0.34; // of the text height, for the label itself

double dots(double mm)
{
    return mm * kResolution / 25.4;
}

QString sizeText(LabelSize size)
{
    return QStringLiteral("%1x%2 mm")
        .arg(roundedNumber(size.widthMm, 1), roundedNumber(size.heightMm, 1));
}

// Draws the QR code of `text` into the square at `square`.
void drawCode(QPainter &painter, const QString &text, const QRectF &square)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeData(int(bytes.size()),
                          reinterpret_cast<const unsigned char *>(bytes.constData()), 0,
                          QR_ECLEVEL_M),
        QRcode_free);
    if (!code)
        throw ELabelDoesNotFit(
            QStringLiteral("cell %1: its label cannot be put into a QR code").arg(text));
    const double module = square.width() / (code->width + 2 * kQuietModules);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                // A hair wider than a module, so that neighbours merge without a seam.
                painter.drawRect(QRectF(square.left() + (x + kQuietModules) * module,
                                        square.top() + (y + kQuietModules) * module, module * 1.02,
                                        module * 1.02));
}

// The point size at which `text` fits `width`, from `wanted` down to the smallest readable
// size; 0 when it does not fit even then.
double fittingPointSize(const QString &text, QFont font, double wanted, double width,
                        QPaintDevice *device)
{
    for (double points = wanted; points >= kSmallestPoint - 1e-9; points -= 0.25) {
        font.setPointSizeF(points);
        if (QFontMetricsF(font, device).horizontalAdvance(text) <= width)
            return points;
    }
    return 0;
}

} // namespace

LabelText labelText(const Cell &cell, const std::optional<PackPlace> &place,
                    const std::vector<LabelField> &fields)
{
    // Short lines, one value each, so that narrow labels hold them too.
    LabelText t{cell.label, {}, {}};
    const auto add = [&](LabelField f, const QString &text) {
        t.lines << text;
        t.fields.push_back(f);
    };
    for (const LabelField f : fields) {
        switch (f) {
        case LabelField::Label: add(f, cell.label); break;
        case LabelField::Resistance: add(f, milliohmText(cell.microohms())); break;
        case LabelField::Voltage: add(f, voltText(cell.microvolts())); break;
        case LabelField::Capacity:
            if (cell.capacityMicroampHours)
                add(f, milliampHourText(*cell.capacityMicroampHours));
            break;
        case LabelField::Verdict:
            add(f,
                cell.retired    ? QStringLiteral("RETIRED")
                    : cell.pass ? QStringLiteral("PASS")
                                : QStringLiteral("FAIL"));
            break;
        case LabelField::Place:
            if (place)
                add(f,
                    QStringLiteral("%1 G%2 #%3")
                        .arg(place->pack, QString::number(place->group),
                             QString::number(place->position)));
            break;
        }
    }
    return t;
}

QByteArray labelsPdf(const std::vector<LabelText> &labels, LabelSize size, DroppedFields *dropped)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(kResolution);
    pdf.setPageSize(QPageSize(QSizeF(size.widthMm, size.heightMm), QPageSize::Millimeter, QString(),
                              QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    pdf.setCreator(QStringLiteral("battery-analyzer-cli"));

    // The code at the left, as high as the label but at most half its width.
    const double margin = dots(kMarginMm);
    const double height = dots(size.heightMm) - 2 * margin;
    const double side = std::min(height, (dots(size.widthMm) - 2 * margin) / 2);
    const QRectF codeSquare(margin, margin + (height - side) / 2, side, side);
    const QRectF textArea(margin + side + margin, margin, dots(size.widthMm) - 3 * margin - side,
                          height);

    QPainter painter;
    bool first = true;
    if (dropped)
        dropped->assign(kLabelFieldNames.size(), 0);
    for (const LabelText &given : labels) {
        if (given.lines.isEmpty())
            continue;
        LabelText label = given;
        std::vector<double> points;
        double firstHeight = 0, otherHeight = 0;
        QFont font(QStringLiteral("Liberation Sans"));
        for (;;) {
            // The first line takes a larger share of the height than the others.
            const double others = double(label.lines.size() - 1);
            firstHeight = others > 0 ? textArea.height() * kFirstLineShare : textArea.height();
            otherHeight = others > 0 ? (textArea.height() - firstHeight) / others : 0;
            points.clear();
            int failed = -1;
            for (int i = 0; i < label.lines.size() && failed < 0; ++i) {
                const double lineDots = i == 0 ? firstHeight : otherHeight;
                // Glyphs of a font at n points stand about 1.15 n points high with their leading.
                const double wanted =
                    std::min(lineDots / 1.15 * 72 / kResolution, i == 0 ? 16.0 : 9.0);
                font.setBold(i == 0);
                const double p = wanted < kSmallestPoint
                    ? 0
                    : fittingPointSize(label.lines[i], font, wanted, textArea.width(), &pdf);
                if (p == 0)
                    failed = i;
                points.push_back(p);
            }
            if (failed < 0)
                break;
            // The last field that is not the label itself makes room for the others.
            qsizetype drop = label.lines.size() - 1;
            while (drop >= 0 && std::size_t(drop) < label.fields.size()
                   && label.fields[std::size_t(drop)] == LabelField::Label)
                --drop;
            if (drop < 0 || label.lines.size() == 1 || std::size_t(drop) >= label.fields.size())
                throw ELabelDoesNotFit(
                    QStringLiteral("cell %1: '%2' does not fit a %3 label; choose a larger --size")
                        .arg(label.code, label.lines[failed], sizeText(size)));
            if (dropped)
                ++(*dropped)[std::size_t(label.fields[std::size_t(drop)])];
            label.lines.removeAt(drop);
            label.fields.erase(label.fields.begin() + drop);
        }
        // Every page is drawn before any byte leaves, so a refusal writes nothing.
        if (first) {
            if (!painter.begin(&pdf))
                throw ELabelDoesNotFit(QStringLiteral("the labels' PDF cannot be drawn"));
            first = false;
        } else {
            pdf.newPage();
        }
        drawCode(painter, label.code, codeSquare);
        painter.setPen(Qt::black);
        double top = textArea.top();
        for (int i = 0; i < label.lines.size(); ++i) {
            const double lineDots = i == 0 ? firstHeight : otherHeight;
            font.setPointSizeF(points[std::size_t(i)]);
            font.setBold(i == 0);
            painter.setFont(font);
            painter.drawText(QRectF(textArea.left(), top, textArea.width(), lineDots),
                             Qt::AlignLeft | Qt::AlignVCenter, label.lines[i]);
            top += lineDots;
        }
    }
    if (!first)
        painter.end();
    buffer.close();
    return buffer.data();
}

std::vector<LabelText> batchLabels(const Batch &batch, const std::vector<LabelField> &fields,
                                   std::optional<bool> verdict)
{
    std::vector<LabelText> labels;
    // A retired cell is neither a pass nor a failure.
    const auto wanted = [&](const Cell &cell) {
        return !verdict || (!cell.retired && cell.pass == *verdict);
    };
    if (!batch.pack) {
        for (const Cell &cell : batch.cells)
            if (wanted(cell))
                labels.push_back(labelText(cell, std::nullopt, fields));
        return labels;
    }
    QHash<QString, const Cell *> byLabel;
    for (const Cell &cell : batch.cells)
        byLabel.insert(cell.label, &cell);
    for (std::size_t g = 0; g < batch.pack->groups.size(); ++g)
        for (qsizetype p = 0; p < batch.pack->groups[g].size(); ++p) {
            const Cell *cell = byLabel.value(batch.pack->groups[g][p]);
            if (cell && wanted(*cell))
                labels.push_back(
                    labelText(*cell, PackPlace{batch.pack->name, int(g + 1), int(p + 1)}, fields));
        }
    return labels;
}

} // namespace report
