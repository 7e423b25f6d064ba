// The results list and the detail panel: filling the list from the table on show, switching
// between the tables, sorting by a column and showing the selected row.
#include "form1.h"

#include "columnfit.h"
#include "findbar.h"
#include "twips.h"

#include "view/detailpanel.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>

void Form1::OptionErrors_Click()
{
    findBar_->setFaultsOnlyAvailable(true);
    fillList(Shown::Errors);
    showSelected();
    OptionLinks->setChecked(!OptionErrors->isChecked());
}

void Form1::OptionLinks_Click()
{
    findBar_->setFaultsOnlyAvailable(false);
    fillList(Shown::Links);
    showSelected();
    OptionErrors->setChecked(!OptionLinks->isChecked());
}

void Form1::OptionFindings_Click()
{
    findBar_->setFaultsOnlyAvailable(false);
    fillList(Shown::Findings);
    showSelected();
}

Form1::Shown Form1::shown() const
{
    if (OptionFindings->isChecked())
        return Shown::Findings;
    return OptionLinks->isChecked() ? Shown::Links : Shown::Errors;
}

TableExtent Form1::extentOf(Shown view) const
{
    switch (view) {
    case Shown::Links:
        return {tables_.linkTable, tables_.linkLastColumn, tables_.linkRowCount};
    case Shown::Errors:
        break;
    case Shown::Findings:
        return {tables_.findingTable, FindingColumnCount - 1, tables_.findingRowCount};
    }
    return {tables_.errorTable, ErrorColumnCount - 1, tables_.errorRowCount};
}

void Form1::ListView1_ColumnClick(int column)
{
    proxy_->setSortKey(column);
    // The first click sorts A to Z, as users expect; every click after it flips the order,
    // whichever column it is on.
    const bool ascending = !sortActive_ || proxy_->sortOrder() == Qt::DescendingOrder;
    proxy_->setSortOrder(ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    proxy_->setSorted(true);
    sortActive_ = true;
    ListView1->header()->setSortIndicatorShown(true);
    ListView1->header()->setSortIndicator(column, proxy_->sortOrder());
}

void Form1::ListView1_ItemClick()
{
    if (!filling_)
        showSelected();
}

void Form1::fillList(Shown view)
{
    filling_ = true;
    model_->clearItems();
    if (sortActive_)
        proxy_->setSorted(false);
    proxy_->setFilter(filterFor(view));

    const auto [table, lastColumn, rowCount, rows] = extentOf(view);
    model_->present(table, lastColumn, rowCount);
    static const TableDescription noFixedColumns;
    const TableDescription& described = table.description() ? *table.description() : noFixedColumns;
    for (int column = 0; column <= lastColumn; ++column)
        ListView1->setColumnWidth(
            column, toPixels(columnWidths_.widthFor(described, column, table.cell(column, 0))));
    widenColumnsToContent(*ListView1, *model_, described.bodyColumn);

    const DetailTexts captions = detailCaptions(table);
    for (int slot = 0; slot < detailSlotCount; ++slot)
        labels_[size_t(slot)]->setText(captions[size_t(slot)]);

    if (sortActive_)
        proxy_->setSorted(true);

    // As a list control does, the first item added, the one from table row 1, becomes the
    // selected item wherever the sort has put it; when a filter hides it, the top row shown.
    QModelIndex first = proxy_->mapFromSource(model_->index(0, 0));
    if (!first.isValid())
        first = proxy_->index(0, 0);
    if (first.isValid())
        ListView1->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
    showFilterCount();
    filling_ = false;
}

void Form1::showSelected()
{
    const DetailTexts texts = detailTexts(*model_, currentSourceRow());
    for (int slot = 0; slot < detailSlotCount; ++slot)
        showFromStart(texts_[size_t(slot)], texts[size_t(slot)]);
}
