#pragma once

#include <QFontMetrics>
#include <QString>

#include <vector>

// Where each UTF-16 unit of a text sits on a fixed-pitch grid. A unit takes one cell, a character
// that the font draws twice as wide (CJK, full-width forms) two, as in a terminal; a surrogate pair
// keeps one cell per unit, which is about the width of the emoji it usually is. Columns that the
// error table counts in UTF-16 units thus map exactly onto the screen, whatever the script.
//
// Counts of wide units are kept at every few hundred units, so that the place of a column on a
// line of tens of megabytes is found without walking the line.
class TextCells
{
public:
    // How a unit is drawn: as part of a run of plain units, on its own (its glyph comes from
    // another font and need not fit one cell exactly), or not at all (it has no width).
    enum class Glyph : quint8
    {
        Unknown,
        Run,
        Wide,
        Alone,
        Blank
    };

    explicit TextCells(const QFontMetrics& metrics);

    // Takes the measure of every unit of text; the other calls then read that text.
    void index(const QString& text);
    // The cell at which the unit at position starts, counted from the line's start.
    qsizetype cellOf(qsizetype lineStart, qsizetype position) const;
    // The position on the line [lineStart, lineEnd] of the unit that covers cell.
    qsizetype positionAt(qsizetype lineStart, qsizetype lineEnd, qsizetype cell) const;
    Glyph glyphOf(QChar unit) const;

private:
    qsizetype wideBefore(qsizetype position) const;
    Glyph measure(QChar unit) const;

    const QString* text_ = nullptr;
    std::vector<qsizetype> wideAtBlock_;
    std::vector<Glyph> glyphs_;
    int charWidth_;
    QFontMetrics metrics_;
};
