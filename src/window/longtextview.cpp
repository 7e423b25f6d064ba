#include "longtextview.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <limits>

LongTextView::LongTextView(QWidget* parent)
    : QAbstractScrollArea(parent),
      cells_(QFontMetrics(QFontDatabase::systemFont(QFontDatabase::FixedFont)))
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
    cells_.index(text_);
    lineStarts_.assign(1, 0);
    longestLine_ = 0;
    for (qsizetype at = text_.indexOf(u'\n'); at >= 0; at = text_.indexOf(u'\n', at + 1)) {
        longestLine_ = std::max(longestLine_, cells_.cellOf(lineStarts_.back(), at));
        lineStarts_.push_back(at + 1);
    }
    longestLine_ = std::max(longestLine_, cells_.cellOf(lineStarts_.back(), text_.size()));
    markedLine_ = -1;
    revealPending_ = false;
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
    revealPending_ = true;
    revealMark();
    return true;
}

void LongTextView::revealMark()
{
    const int context = std::min(3, (visibleLines() - 1) / 2);
    verticalScrollBar()->setValue(int(markedLine_) - context);
    // The line from its start while the cursor is in view there; past that, the cursor a third
    // of the way in, so that what leads to the fault shows too.
    const qint64 cursorX =
        qint64(xOf(cursor_.line, cursor_.column)) - gutterWidth() + horizontalScrollBar()->value();
    const int textWidth = viewport()->width() - gutterWidth();
    horizontalScrollBar()->setValue(
        cursorX + 2 * charWidth_ <= textWidth
            ? 0
            : int(std::min<qint64>(cursorX - textWidth / 3, std::numeric_limits<int>::max())));
    viewport()->update();
}

int LongTextView::xOf(qsizetype line, qsizetype column) const
{
    const qsizetype start = lineStarts_[size_t(line)];
    const qint64 x =
        qint64(gutterWidth()) +
        qint64(cells_.cellOf(start, start + std::min(column, lineLength(line)))) * charWidth_ -
        horizontalScrollBar()->value();
    return int(std::clamp<qint64>(x, std::numeric_limits<int>::min() / 2,
                                  std::numeric_limits<int>::max() / 2));
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
    if (revealPending_)
        revealMark();
}

void LongTextView::wheelEvent(QWheelEvent* event)
{
    revealPending_ = false;
    QAbstractScrollArea::wheelEvent(event);
}

LongTextView::Place LongTextView::placeAt(const QPoint& point) const
{
    const qsizetype line = std::clamp<qsizetype>(
        verticalScrollBar()->value() + point.y() / lineHeight_, 0, lineCount() - 1);
    const qsizetype x = qsizetype(point.x()) - gutterWidth() + horizontalScrollBar()->value();
    if (x <= 0)
        return {line, 0};
    const qsizetype start = lineStarts_[size_t(line)];
    const qsizetype end = start + lineLength(line);
    qsizetype at = cells_.positionAt(start, end, x / charWidth_);
    // Past the middle of a character, the cursor goes after it; never inside a surrogate pair.
    if (at < end) {
        const qsizetype next = at + (text_.at(at).isHighSurrogate() && at + 1 < end ? 2 : 1);
        const qsizetype left = cells_.cellOf(start, at) * charWidth_;
        const qsizetype right = cells_.cellOf(start, next) * charWidth_;
        if (2 * x >= left + right)
            at = next;
    }
    return {line, at - start};
}

void LongTextView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.base());
    const int gutter = gutterWidth();
    const Place from = std::min(anchor_, cursor_);
    const Place to = std::max(anchor_, cursor_);

    for (int row = 0; row <= visibleLines(); ++row) {
        const qsizetype line = verticalScrollBar()->value() + row;
        if (line >= lineCount())
            break;
        const int y = row * lineHeight_;
        if (line == markedLine_)
            painter.fillRect(gutter, y, viewport()->width(), lineHeight_, QColor(255, 228, 181));
        if (!(line < from.line) && !(to.line < line) && from < to) {
            const int left = std::max(gutter, xOf(line, line == from.line ? from.column : 0));
            const int right = std::min(viewport()->width(),
                                       line == to.line ? xOf(line, to.column)
                                                       : xOf(line, lineLength(line)) + charWidth_);
            if (right > left)
                painter.fillRect(left, y, right - left, lineHeight_, colours.highlight());
        }
        paintLineText(painter, line, y);
        if (line == cursor_.line && hasFocus())
            painter.fillRect(xOf(line, cursor_.column), y, 2, lineHeight_, colours.text());
        painter.fillRect(0, y, gutter - 4, lineHeight_, colours.alternateBase());
        painter.setPen(colours.placeholderText().color());
        painter.drawText(0, y, gutter - 8, lineHeight_, Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(line + 1));
    }
}

// Plain units go out in runs; a wide character or one from a fallback font is drawn in its own
// cells, so that nothing after it drifts off the grid.
void LongTextView::paintLineText(QPainter& painter, qsizetype line, int y) const
{
    const int gutter = gutterWidth();
    const qsizetype start = lineStarts_[size_t(line)];
    const qsizetype end = start + lineLength(line);
    const qsizetype firstCell = horizontalScrollBar()->value() / charWidth_;
    qsizetype at = std::max(start, cells_.positionAt(start, end, firstCell) - 1);
    if (at > start && text_.at(at).isLowSurrogate())
        --at;
    painter.setPen(palette().text().color());
    painter.setClipRect(gutter, 0, viewport()->width() - gutter, viewport()->height());
    const int baseline = y + fontMetrics().ascent();
    QString run;
    int runX = 0;
    for (int x = xOf(line, at - start); at < end && x < viewport()->width();) {
        const QChar unit = text_.at(at);
        const qsizetype next = at + (unit.isHighSurrogate() && at + 1 < end ? 2 : 1);
        const TextCells::Glyph glyph = cells_.glyphOf(unit);
        if (glyph == TextCells::Glyph::Run) {
            if (run.isEmpty())
                runX = x;
            run += unit == u'\t' ? QChar(u' ') : unit;
        } else {
            painter.drawText(runX, baseline, run);
            run.clear();
            if (glyph != TextCells::Glyph::Blank)
                painter.drawText(x, baseline, text_.mid(at, next - at));
        }
        x += int(next - at + (glyph == TextCells::Glyph::Wide)) * charWidth_;
        at = next;
    }
    painter.drawText(runX, baseline, run);
    painter.setClipping(false);
}

void LongTextView::mousePressEvent(QMouseEvent* event)
{
    revealPending_ = false;
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
    revealPending_ = false;
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else
        QAbstractScrollArea::keyPressEvent(event);
}
