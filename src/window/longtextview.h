#pragma once

#include <QPlainTextEdit>

#include <vector>

// A read-only view of texts of any length, with line numbers in a margin. A line longer than
// segmentLength is shown as several segments, each on a row of its own: a text layout of one line
// of tens of millions of characters takes seconds and gigabytes, a segment's a moment, and only
// the segments on screen are laid out. Copying takes the segments back together, so what the
// user copies is the text as it is.
class LongTextView : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr qsizetype segmentLength = 4096;

    explicit LongTextView(QWidget* parent = nullptr);

    void setLongText(const QString& text);
    // The text as given, from the document's positions start to end.
    QString originalText(int start, int end) const;
    // Moves the cursor to character column (1-based) of line (1-based), as the given text counts
    // them, and marks that line; returns false when the text has no such line.
    bool markPosition(qint64 line, qint64 column);

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class LineNumbers;
    friend class LineNumbers;
    int numberWidth() const;
    void paintNumbers(QPaintEvent* event);

    LineNumbers* numbers_;
    // For each line of the text, the number of the document's first block that shows it.
    std::vector<int> firstBlockOfLine_;
};
