#include "textcells.h"

#include <algorithm>

namespace {

constexpr qsizetype blockUnits = 256;

} // namespace

TextCells::TextCells(const QFontMetrics& metrics)
    : glyphs_(0x10000, Glyph::Unknown), charWidth_(std::max(1, metrics.horizontalAdvance(u'x'))),
      metrics_(metrics)
{}

TextCells::Glyph TextCells::measure(QChar unit) const
{
    // A pair is drawn whole at its high half's cell; its glyph comes from an emoji font.
    if (unit.isSurrogate())
        return Glyph::Alone;
    if (unit == u'\t' || unit == u'\n')
        return Glyph::Run;
    const int advance = metrics_.horizontalAdvance(unit);
    if (advance == charWidth_)
        return Glyph::Run;
    if (advance == 0)
        return Glyph::Blank;
    return 2 * advance > 3 * charWidth_ ? Glyph::Wide : Glyph::Alone;
}

void TextCells::index(const QString& text)
{
    text_ = &text;
    wideAtBlock_.clear();
    wideAtBlock_.reserve(size_t(text.size() / blockUnits + 1));
    qsizetype wide = 0;
    const auto* units = text.utf16();
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (at % blockUnits == 0)
            wideAtBlock_.push_back(wide);
        Glyph& glyph = glyphs_[units[at]];
        if (glyph == Glyph::Unknown)
            glyph = measure(QChar(units[at]));
        wide += glyph == Glyph::Wide;
    }
    if (text.size() % blockUnits == 0)
        wideAtBlock_.push_back(wide);
}

qsizetype TextCells::wideBefore(qsizetype position) const
{
    const qsizetype block = position / blockUnits;
    qsizetype wide = wideAtBlock_[size_t(block)];
    const auto* units = text_->utf16();
    for (qsizetype at = block * blockUnits; at < position; ++at)
        wide += glyphs_[units[at]] == Glyph::Wide;
    return wide;
}

qsizetype TextCells::cellOf(qsizetype lineStart, qsizetype position) const
{
    return position - lineStart + wideBefore(position) - wideBefore(lineStart);
}

qsizetype TextCells::positionAt(qsizetype lineStart, qsizetype lineEnd, qsizetype cell) const
{
    // The last position whose cell is not past the one asked for.
    qsizetype low = lineStart;
    qsizetype high = lineEnd;
    while (low < high) {
        const qsizetype middle = low + (high - low + 1) / 2;
        if (cellOf(lineStart, middle) <= cell)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

TextCells::Glyph TextCells::glyphOf(QChar unit) const
{
    return glyphs_[unit.unicode()];
}
