#include "resultssortproxy.h"

#include "resultsmodel.h"

#include <algorithm>
#include <numeric>

namespace {

// The C locale says nothing about collation, and Qt's collator then compares code units, case
// included. The Unicode default order, which English uses untailored, is what the user of a list
// control expects there.
QLocale collationLocale()
{
    const QLocale system;
    return system.language() == QLocale::C ? QLocale(QLocale::English) : system;
}

} // namespace

ResultsSortProxy::ResultsSortProxy(QObject* parent)
    : QSortFilterProxyModel(parent), collator_(collationLocale())
{
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    collator_.setNumericMode(false);
    // Sorting happens only when asked for, never behind the list's back on a change of data.
    setDynamicSortFilter(false);
}

void ResultsSortProxy::setSourceModel(QAbstractItemModel* model)
{
    for (const QMetaObject::Connection& connection : rankResets_)
        disconnect(connection);
    rankResets_.clear();
    forgetRanks();
    if (model) {
        // Any change of the rows or their texts makes the ranks stale.
        rankResets_ = {
            connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
                    &ResultsSortProxy::forgetRanks),
            connect(model, &QAbstractItemModel::dataChanged, this, &ResultsSortProxy::forgetRanks),
            connect(model, &QAbstractItemModel::rowsInserted, this, &ResultsSortProxy::forgetRanks),
            connect(model, &QAbstractItemModel::rowsRemoved, this, &ResultsSortProxy::forgetRanks),
            connect(model, &QAbstractItemModel::layoutChanged, this,
                    &ResultsSortProxy::forgetRanks)};
    }
    QSortFilterProxyModel::setSourceModel(model);
}

void ResultsSortProxy::forgetRanks()
{
    ranks_.clear();
    rankedColumn_ = -1;
}

void ResultsSortProxy::setSorted(bool sorted)
{
    sorted_ = sorted;
    if (sorted)
        sort(sortKey_, sortOrder_);
    else
        sort(-1, sortOrder_);
}

bool ResultsSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int column = left.column();
    if (column < 0 || column != right.column())
        return left.row() < right.row();
    if (column != rankedColumn_)
        rankRows(column);
    const auto rank = [this](int row) {
        return row >= 0 && size_t(row) < ranks_.size() ? ranks_[size_t(row)] : row;
    };
    return rank(left.row()) < rank(right.row());
}

void ResultsSortProxy::rankRows(int column) const
{
    const QAbstractItemModel* model = sourceModel();
    const int rowCount = model ? model->rowCount() : 0;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(rowCount));
    for (int row = 0; row < rowCount; ++row)
        keys.push_back(collator_.sortKey(
            model->index(row, column).data(ResultsModel::CellTextRole).toString()));

    std::vector<int> order(static_cast<size_t>(rowCount));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) {
        return keys[size_t(a)].compare(keys[size_t(b)]) < 0;
    });

    // Texts that collate equal share a rank, so the stable sort keeps them in table order.
    ranks_.assign(size_t(rowCount), 0);
    int rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && keys[size_t(order[i])].compare(keys[size_t(order[i - 1])]) != 0)
            rank = int(i);
        ranks_[size_t(order[i])] = rank;
    }
    rankedColumn_ = column;
}
