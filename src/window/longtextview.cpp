#include "longtextview.h"

#include <QMimeData>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>

class LongTextView::LineNumbers : public QWidget
{
public:
    explicit LineNumbers(LongTextView* view) : QWidget(view), view_(view) {}
    QSize sizeHint() const override { return {view_->numberWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { view_->paintNumbers(event); }

private:
    LongTextView* view_;
};

LongTextView::LongTextView(QWidget* parent) : QPlainTextEdit(parent), numbers_(new LineNumbers(this))
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        dy != 0 ? numbers_->scroll(0, dy) : numbers_->update(0, rect.y(), numbers_->width(),
                                                             rect.height());
    });
}

void LongTextView::setLongText(const QString& text)
{
    // Segment boundaries become line breaks of the document; each is remembered as a block that
    // continues the one before.
    QString shown;
    shown.reserve(text.size() + text.size() / segmentLength + 1);
    firstBlockOfLine_.clear();
    int block = 0;
    for (qsizetype lineStart = 0; lineStart <= text.size();) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        firstBlockOfLine_.push_back(block);
        for (qsizetype at = lineStart;;) {
            const qsizetype end = std::min(at + segmentLength, lineEnd);
            shown += QStringView(text).sliced(at, end - at);
            at = end;
            if (at >= lineEnd)
                break;
            shown += u'\n';
            ++block;
        }
        if (lineEnd < text.size()) {
            shown += u'\n';
            ++block;
        }
        lineStart = lineEnd + 1;
    }
    setPlainText(shown);
    numbers_->setGeometry(0, 0, numberWidth(), height());
    setViewportMargins(numberWidth(), 0, 0, 0);
}

QString LongTextView::originalText(int start, int end) const
{
    QString text;
    QTextBlock block = document()->findBlock(start);
    while (block.isValid() && block.position() <= end) {
        const int from = std::max(start, block.position()) - block.position();
        const int to = std::min(end, block.position() + block.length() - 1) - block.position();
        if (block.position() > start) {
            // The break before this block is the text's own unless the block continues a line.
            const auto line = std::upper_bound(firstBlockOfLine_.begin(), firstBlockOfLine_.end(),
                                               block.blockNumber());
            if (line != firstBlockOfLine_.begin() && *(line - 1) == block.blockNumber())
                text += u'\n';
        }
        if (to > from)
            text += block.text().mid(from, to - from);
        block = block.next();
    }
    return text;
}

bool LongTextView::markPosition(qint64 line, qint64 column)
{
    if (line < 1 || line > qint64(firstBlockOfLine_.size()))
        return false;
    const int firstBlock = firstBlockOfLine_[size_t(line - 1)];
    const int lastBlock = size_t(line) < firstBlockOfLine_.size()
                              ? firstBlockOfLine_[size_t(line)] - 1
                              : document()->blockCount() - 1;
    const qint64 offset = std::max<qint64>(column - 1, 0);
    const int block = std::min<qint64>(firstBlock + offset / segmentLength, lastBlock);
    const QTextBlock target = document()->findBlockByNumber(block);
    QTextCursor cursor(target);
    cursor.setPosition(target.position() +
                       int(std::min<qint64>(offset - (block - firstBlock) * segmentLength,
                                            target.length() - 1)));
    setTextCursor(cursor);
    centerCursor();

    QList<QTextEdit::ExtraSelection> marks;
    for (int b = firstBlock; b <= lastBlock; ++b) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(document()->findBlockByNumber(b));
        mark.format.setBackground(QColor(255, 228, 181));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks.append(mark);
    }
    setExtraSelections(marks);
    return true;
}

QMimeData* LongTextView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(originalText(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

int LongTextView::numberWidth() const
{
    const int digits = int(QString::number(qint64(firstBlockOfLine_.size())).size());
    return 8 + fontMetrics().horizontalAdvance(u'9') * std::max(digits, 2);
}

void LongTextView::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    numbers_->setGeometry(area.left(), area.top(), numberWidth(), area.height());
}

void LongTextView::paintNumbers(QPaintEvent* event)
{
    QPainter painter(numbers_);
    painter.fillRect(event->rect(), palette().alternateBase());
    painter.setPen(palette().placeholderText().color());
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        const auto line = std::upper_bound(firstBlockOfLine_.begin(), firstBlockOfLine_.end(),
                                           block.blockNumber());
        const qint64 number = line - firstBlockOfLine_.begin();
        // A segment that continues a line shows no number of its own.
        const bool starts = number > 0 && *(line - 1) == block.blockNumber();
        if (starts && block.isVisible())
            painter.drawText(0, top, numbers_->width() - 4, height, Qt::AlignRight,
                             QString::number(number));
        top += height;
        block = block.next();
    }
}
