#include "resultssortproxy.h"

#include "collationorder.h"
#include "resultsmodel.h"

#include <numeric>

ResultsSortProxy::ResultsSortProxy(QObject* parent) : QAbstractProxyModel(parent) {}

void ResultsSortProxy::setSourceModel(QAbstractItemModel* model)
{
    beginResetModel();
    for (const QMetaObject::Connection& connection : sourceConnections_)
        disconnect(connection);
    sourceConnections_.clear();
    QAbstractProxyModel::setSourceModel(model);
    if (model) {
        // The results model only ever changes wholesale; any change of its shape makes the
        // order stale, so the list goes back to table order until it is sorted again.
        const auto beginReset = [this] { beginResetModel(); };
        const auto endReset = [this] {
            resetToSourceOrder();
            endResetModel();
        };
        sourceConnections_ = {
            connect(model, &QAbstractItemModel::modelAboutToBeReset, this, beginReset),
            connect(model, &QAbstractItemModel::modelReset, this, endReset),
            connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, beginReset),
            connect(model, &QAbstractItemModel::rowsInserted, this, endReset),
            connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, beginReset),
            connect(model, &QAbstractItemModel::rowsRemoved, this, endReset),
            connect(model, &QAbstractItemModel::columnsAboutToBeInserted, this, beginReset),
            connect(model, &QAbstractItemModel::columnsInserted, this, endReset),
            connect(model, &QAbstractItemModel::columnsAboutToBeRemoved, this, beginReset),
            connect(model, &QAbstractItemModel::columnsRemoved, this, endReset),
            connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, beginReset),
            connect(model, &QAbstractItemModel::layoutChanged, this, endReset),
            connect(model, &QAbstractItemModel::dataChanged, this,
                    [this](const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles) {
                        // Rows may no longer be in order; they stay where they are until the
                        // next sort, as in a list control. Report the whole column range.
                        if (rowCount() > 0)
                            emit dataChanged(index(0, topLeft.column()),
                                             index(rowCount() - 1, bottomRight.column()), roles);
                    }),
            connect(model, &QAbstractItemModel::headerDataChanged, this,
                    &QAbstractItemModel::headerDataChanged),
        };
    }
    resetToSourceOrder();
    endResetModel();
}

void ResultsSortProxy::resetToSourceOrder()
{
    const int rows = sourceModel() ? sourceModel()->rowCount() : 0;
    order_.resize(size_t(rows));
    std::iota(order_.begin(), order_.end(), 0);
    shown_ = matchSourceRows(order_);
    sourceRowAt_ = shownInOrder();
    proxyRowOf_.assign(order_.size(), -1);
    for (size_t proxyRow = 0; proxyRow < sourceRowAt_.size(); ++proxyRow)
        proxyRowOf_[size_t(sourceRowAt_[proxyRow])] = int(proxyRow);
}

void ResultsSortProxy::setSorted(bool sorted)
{
    sorted_ = sorted;
    order_ = sortedOrder();
    applyOrder(shownInOrder());
}

std::vector<int> ResultsSortProxy::sortedOrder() const
{
    const int rows = int(order_.size());
    const int column = sortKey_;
    // Unsorted, or by a remembered column that this table lacks: every text then compares
    // equal, so the rows stand in table order.
    if (!sorted_ || column < 0 || column >= columnCount()) {
        std::vector<int> tableOrder(order_.size());
        std::iota(tableOrder.begin(), tableOrder.end(), 0);
        return tableOrder;
    }
    const auto* results = qobject_cast<const ResultsModel*>(sourceModel());
    if (results && results->isNumeric(column)) {
        const auto numberOf = [results, column](int row) { return results->number(row, column); };
        return numericOrder(rows, numberOf, sortOrder_);
    }
    const auto textOf = [this, column](int row) { return sourceText(row, column); };
    return collationOrder(rows, textOf, sortOrder_);
}

std::vector<int> ResultsSortProxy::shownInOrder() const
{
    std::vector<int> rows;
    rows.reserve(order_.size());
    for (const int row : order_) {
        if (shown_[size_t(row)])
            rows.push_back(row);
    }
    return rows;
}

void ResultsSortProxy::setFilter(const RowFilter& filter)
{
    // While typing, each letter only narrows the rows already shown: look at those alone.
    const bool narrowing = filter.narrows(filter_);
    const std::vector<int> candidates = narrowing ? sourceRowAt_ : order_;
    filter_ = filter;
    const std::vector<char> passed = matchSourceRows(candidates);
    if (narrowing)
        std::fill(shown_.begin(), shown_.end(), 0);
    for (size_t i = 0; i < candidates.size(); ++i)
        shown_[size_t(candidates[i])] = passed[i];
    applyOrder(shownInOrder());
}

void ResultsSortProxy::sort(int column, Qt::SortOrder order)
{
    sortKey_ = column;
    sortOrder_ = order;
    setSorted(column >= 0);
}

QString ResultsSortProxy::sourceText(int row, int column) const
{
    // Read the table directly: collationOrder() asks from several threads, and the model's data()
    // is for the thread that owns it.
    if (const auto* results = qobject_cast<const ResultsModel*>(sourceModel()))
        return results->cellText(row, column);
    return {};
}

std::vector<char> ResultsSortProxy::matchSourceRows(const std::vector<int>& candidates) const
{
    if (const auto* results = qobject_cast<const ResultsModel*>(sourceModel()))
        return matchRows(candidates, *results, filter_);
    return std::vector<char>(candidates.size(), 1);
}

void ResultsSortProxy::applyOrder(std::vector<int> sourceRows)
{
    if (sourceRows == sourceRowAt_)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList sourceBefore;
    sourceBefore.reserve(before.size());
    for (const QModelIndex& index : before)
        sourceBefore.append(mapToSource(index));

    sourceRowAt_ = std::move(sourceRows);
    proxyRowOf_.assign(order_.size(), -1);
    for (size_t proxyRow = 0; proxyRow < sourceRowAt_.size(); ++proxyRow)
        proxyRowOf_[size_t(sourceRowAt_[proxyRow])] = int(proxyRow);

    // A row the filter now hides loses its selection and its place as the current row.
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& source : sourceBefore)
        after.append(mapFromSource(source));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex ResultsSortProxy::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || size_t(row) >= sourceRowAt_.size() || column < 0 ||
        column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex ResultsSortProxy::parent(const QModelIndex&) const
{
    return {};
}

int ResultsSortProxy::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(sourceRowAt_.size());
}

int ResultsSortProxy::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

bool ResultsSortProxy::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QModelIndex ResultsSortProxy::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel() || size_t(proxyIndex.row()) >= sourceRowAt_.size())
        return {};
    return sourceModel()->index(sourceRowAt_[size_t(proxyIndex.row())], proxyIndex.column());
}

QModelIndex ResultsSortProxy::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || size_t(sourceIndex.row()) >= proxyRowOf_.size() ||
        proxyRowOf_[size_t(sourceIndex.row())] < 0)
        return {};
    return index(proxyRowOf_[size_t(sourceIndex.row())], sourceIndex.column());
}
