#pragma once

#include "textcells.h"

#include <QAbstractScrollArea>

#include <vector>

// A read-only view of a text of any length, with line numbers in a margin, one line marked and a
// cursor; its text can be selected with the mouse (or whole, Ctrl+A) and copied (Ctrl+C).
//
// Made for post bodies of tens of megabytes, often on a single line: it keeps the text and the
// start of each line, and paints only the part of each line on screen, in a fixed-pitch font on a
// grid of cells (a TAB shows as one space, a CJK character takes two cells), so that the cursor
// stands exactly where the error table's columns, counted in UTF-16 units, say. A text document
// would lay out whole lines and take seconds and gigabytes.
class LongTextView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit LongTextView(QWidget* parent = nullptr);

    void setLongText(QString text);
    const QString& text() const { return text_; }
    qsizetype lineCount() const { return qsizetype(lineStarts_.size()); }

    // Moves the cursor to column (1-based, clamped to the line) of line (1-based) and marks that
    // line, which is shown with a few lines above it, from its start unless that would leave the
    // cursor out of view; false when the text has no such line.
    bool markPosition(qint64 line, qint64 column);
    // The cursor's place in the text, counted from 0.
    qsizetype cursorPosition() const;

    void selectAll();
    QString selectedText() const;
    void copy() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Place
    {
        qsizetype line = 0;
        qsizetype column = 0;
        friend bool operator<(const Place& a, const Place& b)
        {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        }
    };

    qsizetype lineLength(qsizetype line) const;
    qsizetype positionOf(const Place& place) const;
    Place placeAt(const QPoint& point) const;
    int xOf(qsizetype line, qsizetype column) const;
    void paintLineText(QPainter& painter, qsizetype line, int y) const;
    void revealMark();
    int gutterWidth() const;
    int visibleLines() const;
    void updateScrollBars();

    QString text_;
    std::vector<qsizetype> lineStarts_{0};
    qsizetype longestLine_ = 0; // in cells
    qsizetype markedLine_ = -1;
    // Until the user scrolls or clicks, every new size of the view shows the mark again: the
    // view is often marked before it has its final size.
    bool revealPending_ = false;
    TextCells cells_;
    Place cursor_;
    Place anchor_;
    int charWidth_ = 8;
    int lineHeight_ = 16;
};
