#include "columnfit.h"

#include "view/resultsmodel.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace {

// Enough rows to meet the values a column usually holds, few enough to measure at once on a
// million rows.
constexpr int sampledRows = 500;
// A value longer than this is cut at any width the list can give it; the panel and the row view
// show it whole.
constexpr int shortTextCharacters = 32;

// The longest text a column of numbers shows: the one with the most digits, sign included.
QString widestNumber(const ResultsModel& model, int column)
{
    qint64 low = 0;
    qint64 high = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (const std::optional<qint64> value = model.number(row, column)) {
            low = std::min(low, *value);
            high = std::max(high, *value);
        }
    }
    const QString lowest = QString::number(low);
    const QString highest = QString::number(high);
    return lowest.size() > highest.size() ? lowest : highest;
}

int widestShortText(const QFontMetrics& metrics, const ResultsModel& model, int column, int limit)
{
    int widest = 0;
    const int rows = std::min(model.rowCount(), sampledRows);
    for (int row = 0; row < rows; ++row) {
        const int width = metrics.horizontalAdvance(model.index(row, column).data().toString());
        if (width <= limit)
            widest = std::max(widest, width);
    }
    return widest;
}

} // namespace

void widenColumnsToContent(QTreeView& list, const ResultsModel& model, int bodyColumn)
{
    const QFontMetrics metrics = list.fontMetrics();
    // A cell's text is drawn within a margin on either side and elided where it does not fit.
    const int margins =
        2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + 2;
    const int limit = metrics.averageCharWidth() * shortTextCharacters;
    const QHeaderView* header = list.header();
    for (int column = 0; column < model.columnCount(); ++column) {
        int needed = header->sectionSizeHint(column);
        if (model.isNumeric(column))
            needed =
                std::max(needed, metrics.horizontalAdvance(widestNumber(model, column)) + margins);
        else if (column != bodyColumn)
            needed = std::max(needed, widestShortText(metrics, model, column, limit) + margins);
        if (needed > list.columnWidth(column))
            list.setColumnWidth(column, needed);
    }
}
