#pragma once

#include "rowfilter.h"

#include <QAbstractProxyModel>

#include <vector>

// Sorts the results list by the text of one column, as a report-style list control does (see
// collationOrder), or by the numbers the rows keep in the columns the table describes as numbers;
// and shows only the rows that
// pass a filter, in the same order.
//
// The sort column and order are remembered apart from whether the list is sorted at all, so that
// a fill can show the new rows unsorted and then sort them once by the remembered column.
//
// The proxy keeps the order as a plain permutation of source rows rather than deriving from
// QSortFilterProxyModel: that one sorts by calling lessThan() with fresh indexes some twenty
// million times for a million rows, which alone takes longer than the whole sort may.
class ResultsSortProxy : public QAbstractProxyModel
{
    Q_OBJECT
public:
    explicit ResultsSortProxy(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* model) override;

    int sortKey() const { return sortKey_; }
    void setSortKey(int column) { sortKey_ = column; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    void setSortOrder(Qt::SortOrder order) { sortOrder_ = order; }
    bool isSorted() const { return sorted_; }
    // True sorts all rows at once by sortKey() in sortOrder(); false shows them in source order.
    void setSorted(bool sorted);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const RowFilter& filter() const { return filter_; }
    void setFilter(const RowFilter& filter);
    bool isFiltered() const { return filter_.isActive(); }
    // The source rows on show, in the order shown.
    const std::vector<int>& shownSourceRows() const { return sourceRowAt_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

private:
    void resetToSourceOrder();
    std::vector<int> sortedOrder() const;
    std::vector<int> shownInOrder() const;
    void applyOrder(std::vector<int> sourceRows);
    QString sourceText(int row, int column) const;
    std::vector<char> matchSourceRows(const std::vector<int>& candidates) const;

    int sortKey_ = 0;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool sorted_ = false;
    RowFilter filter_;
    std::vector<int> order_;       // every source row, in table or sorted order
    std::vector<char> shown_;      // source row -> whether it passes the filter
    std::vector<int> sourceRowAt_; // proxy row -> source row
    std::vector<int> proxyRowOf_;  // source row -> proxy row, or -1 when filtered out
    QList<QMetaObject::Connection> sourceConnections_;
};
