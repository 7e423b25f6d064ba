#pragma once

#include <QAbstractScrollArea>

#include <vector>

// A read-only view of a text of any length, with line numbers in a margin, one line marked and a
// cursor; its text can be selected with the mouse (or whole, Ctrl+A) and copied (Ctrl+C).
//
// Made for post bodies of tens of megabytes, often on a single line: it keeps the text and the
// start of each line, and paints only the part of each line on screen, in a fixed-pitch font with
// one cell per UTF-16 unit (a TAB shows as one space), so that columns are the ones the error
// table counts. A text document would lay out whole lines and take seconds and gigabytes.
class LongTextView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit LongTextView(QWidget* parent = nullptr);

    void setLongText(QString text);
    const QString& text() const { return text_; }
    qsizetype lineCount() const { return qsizetype(lineStarts_.size()); }

    // Moves the cursor to column (1-based, clamped to the line) of line (1-based), marks that line
    // and scrolls it into the middle of the view; false when the text has no such line.
    bool markPosition(qint64 line, qint64 column);
    // The cursor's place in the text, counted from 0.
    qsizetype cursorPosition() const;

    void selectAll();
    QString selectedText() const;
    void copy() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
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
    int gutterWidth() const;
    int visibleLines() const;
    void updateScrollBars();

    QString text_;
    std::vector<qsizetype> lineStarts_{0};
    qsizetype longestLine_ = 0;
    qsizetype markedLine_ = -1;
    Place cursor_;
    Place anchor_;
    int charWidth_ = 8;
    int lineHeight_ = 16;
};
