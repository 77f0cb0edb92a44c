#include "boardview/board_pieces.h"

#include "board/gbk_character.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace boardview {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Where the pieces of the line text[start, end) begin, each about kChunkBytes long. A piece
// ends after a blank near its size when there is one, so that the forced row break falls
// between words.
std::vector<qsizetype> cutIntoPieces(const char *p, qsizetype start, qsizetype end)
{
    constexpr qsizetype kSeekBlank = 256;
    std::vector<qsizetype> starts{start};
    qsizetype pieceStart = start;
    qsizetype afterBlank = -1;
    qsizetype pos = start;
    while (pos < end) {
        if (pos - pieceStart >= BoardPieces::kChunkBytes) {
            const qsizetype cut =
                afterBlank > pos - kSeekBlank && afterBlank > pieceStart ? afterBlank : pos;
            starts.push_back(cut);
            pieceStart = cut;
        }
        const bool blank = p[pos] == ' ';
        pos += board::gbkCharacterBytes(p, pos, end);
        if (blank)
            afterBlank = pos;
    }
    return starts;
}

bool plainAscii(const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c >= 0x80 || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

} // namespace

qsizetype BoardPiece::positionOf(int charIndex) const
{
    if (charStarts.empty())
        return start + charIndex;
    return start + charStarts[size_t(charIndex)];
}

int BoardPiece::charIndexOf(qsizetype pos) const
{
    if (charStarts.empty())
        return int(pos - start);
    const auto offset = quint16(pos - start);
    const auto it = std::upper_bound(charStarts.begin(), charStarts.end(), offset);
    return int(it - charStarts.begin()) - 1;
}

BoardPieces::BoardPieces(const QByteArray &text, const board::LineIndex &index)
    : text_(text), index_(index)
{
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void BoardPieces::setLayout(const QFont &font, qreal width, QTextOption::WrapMode wrap)
{
    font_ = font;
    width_ = width;
    option_.setWrapMode(wrap);
    // Whole pixels, so that rows moved on screen by scrolling line up with rows painted anew.
    rowHeight_ = std::max<qreal>(1, std::ceil(QFontMetricsF(font).lineSpacing()));
    cache_.clear();
}

void BoardPieces::clear()
{
    cache_.clear();
    chunks_.clear();
}

void BoardPieces::forgetLine(qsizetype line)
{
    const auto it = chunks_.find(line);
    if (it == chunks_.end()) {
        cache_.remove(key(line, 0));
        return;
    }
    for (size_t chunk = 0; chunk < it->second.size(); ++chunk)
        cache_.remove(key(line, qsizetype(chunk)));
    chunks_.erase(it);
}

const std::vector<qsizetype> *BoardPieces::chunkStarts(qsizetype line)
{
    const qsizetype start = index_.lineStart(line);
    const qsizetype end = index_.lineEnd(line);
    if (end - start <= kChunkBytes)
        return nullptr;
    auto it = chunks_.find(line);
    if (it == chunks_.end())
        it = chunks_.emplace(line, cutIntoPieces(text_.constData(), start, end)).first;
    return &it->second;
}

qsizetype BoardPieces::chunkCount(qsizetype line)
{
    const std::vector<qsizetype> *starts = chunkStarts(line);
    return starts ? qsizetype(starts->size()) : 1;
}

qsizetype BoardPieces::chunkOf(qsizetype line, qsizetype pos)
{
    const std::vector<qsizetype> *starts = chunkStarts(line);
    if (!starts)
        return 0;
    const auto it = std::upper_bound(starts->begin(), starts->end(), pos);
    return std::max<qsizetype>(0, qsizetype(it - starts->begin()) - 1);
}

std::pair<qsizetype, qsizetype> BoardPieces::chunkBytes(qsizetype line, qsizetype chunk)
{
    const std::vector<qsizetype> *starts = chunkStarts(line);
    if (!starts)
        return {index_.lineStart(line), index_.lineEnd(line)};
    const qsizetype next = chunk + 1;
    return {qsizetype((*starts)[size_t(chunk)]),
            next < qsizetype(starts->size()) ? qsizetype((*starts)[size_t(next)])
                                             : index_.lineEnd(line)};
}

const BoardPiece &BoardPieces::piece(qsizetype line, qsizetype chunk)
{
    if (BoardPiece *cached = cache_.object(key(line, chunk)))
        return *cached;
    auto *piece = new BoardPiece;
    std::tie(piece->start, piece->end) = chunkBytes(line, chunk);
    piece->layout.setText(decode(piece->start, piece->end, &piece->charStarts));
    piece->layout.setFont(font_);
    piece->layout.setTextOption(option_);
    piece->layout.setCacheEnabled(true);
    piece->layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine row = piece->layout.createLine();
        if (!row.isValid())
            break;
        row.setLeadingIncluded(true);
        row.setLineWidth(width_);
        row.setPosition(QPointF(0, y));
        y += rowHeight_;
    }
    piece->layout.endLayout();
    cache_.insert(key(line, chunk), piece, piece->end - piece->start + 64);
    return *piece;
}

QString BoardPieces::decode(qsizetype from, qsizetype to, std::vector<quint16> *charStarts)
{
    if (charStarts)
        charStarts->clear();
    const char *p = text_.constData() + from;
    const qsizetype n = to - from;
    if (plainAscii(p, n))
        return QString::fromLatin1(p, n);

    // Character boundaries, by the same rule the line index follows.
    std::vector<quint16> starts;
    starts.reserve(size_t(n) + 1);
    for (qsizetype i = 0; i < n;) {
        starts.push_back(quint16(i));
        i += board::gbkCharacterBytes(p, i, n);
    }
    const auto chars = qsizetype(starts.size());
    starts.push_back(quint16(n));

    if (!decoder_)
        decoder_.emplace("GBK");
    decoder_->resetState();
    QString text = decoder_->decode(QByteArrayView(p, n));
    if (text.size() != chars) {
        // Something did not decode one to one (a lead byte with a byte no character has):
        // each character is decoded on its own and stands for one character of the view.
        text.resize(chars);
        for (qsizetype c = 0; c < chars; ++c) {
            decoder_->resetState();
            const QString one = decoder_->decode(
                QByteArrayView(p + starts[size_t(c)], starts[size_t(c + 1)] - starts[size_t(c)]));
            text[c] = one.isEmpty() ? QChar(kReplacement) : one.front();
        }
    }
    // A line break taken into a character is not shown as one.
    for (QChar &c : text)
        if (c == u'\r' || c == u'\n')
            c = QChar(kReplacement);
    if (charStarts && qsizetype(starts.size()) != n + 1)
        *charStarts = std::move(starts);
    return text;
}

} // namespace boardview
