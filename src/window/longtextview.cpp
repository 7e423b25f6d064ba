#include "longtextview.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

LongTextView::LongTextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    charWidth_ = std::max(1, fontMetrics().horizontalAdvance(u'x'));
    lineHeight_ = fontMetrics().lineSpacing();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);

    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copyAction = new QAction(QStringLiteral("&Copy"), this);
    connect(copyAction, &QAction::triggered, this, &LongTextView::copy);
    auto* allAction = new QAction(QStringLiteral("Select &All"), this);
    connect(allAction, &QAction::triggered, this, &LongTextView::selectAll);
    addActions({copyAction, allAction});
}

void LongTextView::setLongText(QString text)
{
    text_ = std::move(text);
    lineStarts_.assign(1, 0);
    longestLine_ = 0;
    for (qsizetype at = text_.indexOf(u'\n'); at >= 0; at = text_.indexOf(u'\n', at + 1)) {
        longestLine_ = std::max(longestLine_, at - lineStarts_.back());
        lineStarts_.push_back(at + 1);
    }
    longestLine_ = std::max(longestLine_, text_.size() - lineStarts_.back());
    markedLine_ = -1;
    cursor_ = anchor_ = {};
    updateScrollBars();
    viewport()->update();
}

qsizetype LongTextView::lineLength(qsizetype line) const
{
    const qsizetype end =
        size_t(line + 1) < lineStarts_.size() ? lineStarts_[size_t(line + 1)] - 1 : text_.size();
    return end - lineStarts_[size_t(line)];
}

qsizetype LongTextView::positionOf(const Place& place) const
{
    return lineStarts_[size_t(place.line)] + std::min(place.column, lineLength(place.line));
}

qsizetype LongTextView::cursorPosition() const
{
    return positionOf(cursor_);
}

bool LongTextView::markPosition(qint64 line, qint64 column)
{
    if (line < 1 || line > lineCount())
        return false;
    markedLine_ = line - 1;
    cursor_ =
        anchor_ = {markedLine_, std::clamp<qsizetype>(column - 1, 0, lineLength(markedLine_))};
    verticalScrollBar()->setValue(int(markedLine_) - visibleLines() / 2);
    horizontalScrollBar()->setValue(
        int(std::max<qsizetype>(0, cursor_.column * charWidth_ - viewport()->width() / 2)));
    viewport()->update();
    return true;
}

void LongTextView::selectAll()
{
    anchor_ = {};
    cursor_ = {lineCount() - 1, lineLength(lineCount() - 1)};
    viewport()->update();
}

QString LongTextView::selectedText() const
{
    const qsizetype a = positionOf(std::min(anchor_, cursor_));
    const qsizetype b = positionOf(std::max(anchor_, cursor_));
    return text_.mid(a, b - a);
}

void LongTextView::copy() const
{
    if (!(anchor_ < cursor_) && !(cursor_ < anchor_))
        return;
    QGuiApplication::clipboard()->setText(selectedText());
}

int LongTextView::gutterWidth() const
{
    return 8 + charWidth_ * std::max(2, int(QString::number(lineCount()).size()));
}

int LongTextView::visibleLines() const
{
    return std::max(1, viewport()->height() / lineHeight_);
}

void LongTextView::updateScrollBars()
{
    verticalScrollBar()->setRange(0, int(std::max<qsizetype>(0, lineCount() - visibleLines())));
    verticalScrollBar()->setPageStep(visibleLines());
    const qint64 width = qint64(longestLine_ + 1) * charWidth_ + gutterWidth();
    horizontalScrollBar()->setRange(0, int(std::clamp<qint64>(width - viewport()->width(), 0,
                                                              std::numeric_limits<int>::max())));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth_ * 4);
}

void LongTextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

LongTextView::Place LongTextView::placeAt(const QPoint& point) const
{
    const qsizetype line = std::clamp<qsizetype>(
        verticalScrollBar()->value() + point.y() / lineHeight_, 0, lineCount() - 1);
    const qsizetype x = qsizetype(point.x()) - gutterWidth() + horizontalScrollBar()->value();
    return {line, std::clamp<qsizetype>((x + charWidth_ / 2) / charWidth_, 0, lineLength(line))};
}

void LongTextView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.base());
    const int gutter = gutterWidth();
    const int scrollX = horizontalScrollBar()->value();
    const qsizetype firstColumn = scrollX / charWidth_;
    const qsizetype columns = viewport()->width() / charWidth_ + 2;
    const Place from = std::min(anchor_, cursor_);
    const Place to = std::max(anchor_, cursor_);
    const int ascent = fontMetrics().ascent();

    for (int row = 0; row <= visibleLines(); ++row) {
        const qsizetype line = verticalScrollBar()->value() + row;
        if (line >= lineCount())
            break;
        const int y = row * lineHeight_;
        const auto xOf = [&](qsizetype column) {
            return int(gutter + column * charWidth_ - scrollX);
        };
        if (line == markedLine_)
            painter.fillRect(gutter, y, viewport()->width(), lineHeight_, QColor(255, 228, 181));
        if (!(line < from.line) && !(to.line < line) && from < to) {
            const qsizetype start = line == from.line ? from.column : 0;
            const qsizetype end = line == to.line ? to.column : lineLength(line) + 1;
            const int left = std::max(gutter, xOf(start));
            const int right = std::min(viewport()->width(), xOf(end));
            if (right > left)
                painter.fillRect(left, y, right - left, lineHeight_, colours.highlight());
        }
        const qsizetype length = lineLength(line);
        if (firstColumn < length) {
            QString slice = text_.mid(lineStarts_[size_t(line)] + firstColumn,
                                      std::min(columns, length - firstColumn));
            slice.replace(u'\t', u' ');
            painter.setPen(colours.text().color());
            painter.setClipRect(gutter, 0, viewport()->width() - gutter, viewport()->height());
            painter.drawText(xOf(firstColumn), y + ascent, slice);
            painter.setClipping(false);
        }
        if (line == cursor_.line && hasFocus())
            painter.fillRect(xOf(cursor_.column), y, 2, lineHeight_, colours.text());
        painter.fillRect(0, y, gutter - 4, lineHeight_, colours.alternateBase());
        painter.setPen(colours.placeholderText().color());
        painter.drawText(0, y, gutter - 8, lineHeight_, Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(line + 1));
    }
}

void LongTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    cursor_ = placeAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier))
        anchor_ = cursor_;
    viewport()->update();
}

void LongTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    cursor_ = placeAt(event->position().toPoint());
    viewport()->update();
}

void LongTextView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else
        QAbstractScrollArea::keyPressEvent(event);
}
