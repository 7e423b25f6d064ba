#pragma once

#include <QCollator>
#include <QSortFilterProxyModel>

#include <vector>

// Sorts the results list by the text of one column, ignoring case and following the user's
// locale, as a report-style list control does; numbers are compared as text, so "10" sorts
// before "9".
//
// The sort column and order are remembered apart from whether the list is sorted at all, so that
// a fill can show the new rows unsorted and then sort them once by the remembered column.
class ResultsSortProxy : public QSortFilterProxyModel
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

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void forgetRanks();
    void rankRows(int column) const;

    QCollator collator_;
    int sortKey_ = 0;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool sorted_ = false;
    QList<QMetaObject::Connection> rankResets_;
    // The collation rank of every source row's text in rankedColumn_: comparing two texts is then
    // comparing two integers, and each text is collated once per sort rather than at every
    // comparison.
    mutable std::vector<int> ranks_;
    mutable int rankedColumn_ = -1;
};
