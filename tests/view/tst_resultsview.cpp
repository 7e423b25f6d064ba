#include "view/columnwidths.h"
#include "view/detailpanel.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

// Row 0 holds the headers; row r + 1 the cells of rows[r].
ResultTable makeTable(const QStringList& headers, const QList<QStringList>& rows)
{
    ResultTable table;
    table.reset(int(headers.size()));
    for (int column = 0; column < headers.size(); ++column)
        table.setCell(column, 0, headers.at(column));
    for (const QStringList& cells : rows) {
        table.appendRow();
        for (int column = 0; column < cells.size(); ++column)
            table.setCell(column, table.rowCount() - 1, cells.at(column));
    }
    return table;
}

QStringList shownColumn(const QAbstractItemModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row, column).data(ResultsModel::CellTextRole).toString());
    return texts;
}

struct SortedView
{
    SortedView() { proxy.setSourceModel(&model); }
    QStringList sortBy(int column, Qt::SortOrder order)
    {
        proxy.setSortKey(column);
        proxy.setSortOrder(order);
        proxy.setSorted(true);
        return shownColumn(proxy, 0);
    }
    ResultsModel model;
    ResultsSortProxy proxy;
    QAbstractItemModelTester modelTester{&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest};
    QAbstractItemModelTester proxyTester{&proxy,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class ResultsViewTest : public QObject
{
    Q_OBJECT
private slots:
    void modelShowsCellsWholeAndRowsOnOneLine();
    void sortComparesTextAsAListControlDoes_data();
    void sortComparesTextAsAListControlDoes();
    void sortFollowsNewTablesAndMissingColumns();
    void filterKeepsRowsHoldingTheText_data();
    void filterKeepsRowsHoldingTheText();
    void columnWidthsIgnoreCase();
    void panelShowsOnlyColumnsOnShow();
};

void ResultsViewTest::modelShowsCellsWholeAndRowsOnOneLine()
{
    const QString body = QStringLiteral("<p>one\r\ntwo</p>") + QString(5000, u'x');
    ResultTable table = makeTable({"Post Title", "Content", "href", ""}, {{"a", "", "x"}, {"b"}});
    table.setCell(1, 1, CellText::fromUtf8(body.toUtf8()));
    SortedView view;

    view.model.present(table, 2, 99); // a row count past the table's never reads beyond it
    QCOMPARE(view.model.rowCount(), 2);
    QCOMPARE(view.model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("href"));
    QCOMPARE(view.model.index(0, 1).data(ResultsModel::CellTextRole).toString(), body);
    const QString shown = view.model.index(0, 1).data().toString();
    QVERIFY(shown.startsWith(QStringLiteral("<p>one  two</p>xxx")) && shown.size() < body.size());

    // A run empties the list long before it rebuilds the columns.
    view.model.clearItems();
    QCOMPARE(view.model.rowCount(), 0);
    QCOMPARE(view.model.columnCount(), 3);
}

void ResultsViewTest::sortComparesTextAsAListControlDoes_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("case ignored") << QStringList{"beans", "Apples", "carrots", "Café"}
                                  << Qt::AscendingOrder
                                  << QStringList{"Apples", "beans", "Café", "carrots"};
    QTest::newRow("numbers as text") << QStringList{"9", "10", "2", "100"} << Qt::AscendingOrder
                                     << QStringList{"10", "100", "2", "9"};
    QTest::newRow("descending") << QStringList{"9", "10", "", "2"} << Qt::DescendingOrder
                                << QStringList{"9", "2", "10", ""};
    QTest::newRow("accents") << QStringList{"Zebra", "Éclair", "Apple", "Egg"} << Qt::AscendingOrder
                             << QStringList{"Apple", "Éclair", "Egg", "Zebra"};
    // Texts that compare equal keep their table order, in either direction.
    QTest::newRow("ties ascending")
        << QStringList{"b", "B", "a"} << Qt::AscendingOrder << QStringList{"a", "b", "B"};
    QTest::newRow("ties descending")
        << QStringList{"b", "a", "B"} << Qt::DescendingOrder << QStringList{"b", "B", "a"};
}

void ResultsViewTest::sortComparesTextAsAListControlDoes()
{
    QFETCH(QStringList, texts);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, expected);
    QList<QStringList> rows;
    for (const QString& text : texts)
        rows.append({text});
    const ResultTable table = makeTable({"Post Title"}, rows);
    SortedView view;
    view.model.present(table, 0, int(texts.size()));

    QCOMPARE(view.sortBy(0, order), expected);
    view.proxy.setSorted(false);
    QCOMPARE(shownColumn(view.proxy, 0), texts);
}

void ResultsViewTest::sortFollowsNewTablesAndMissingColumns()
{
    const ResultTable first = makeTable({"T", "N"}, {{"b"}, {"a"}, {"c"}});
    const ResultTable second = makeTable({"T", "N"}, {{"y"}, {"z"}, {"x"}});
    SortedView view;
    view.model.present(first, 1, 3);
    QCOMPARE(view.sortBy(0, Qt::DescendingOrder), (QStringList{"c", "b", "a"}));

    // What was worked out for one table is never applied to the next.
    view.proxy.setSorted(false);
    view.model.present(second, 1, 3);
    view.proxy.setSorted(true);
    QCOMPARE(shownColumn(view.proxy, 0), (QStringList{"z", "y", "x"}));

    // A sort column the table does not have leaves the rows in table order.
    QCOMPARE(view.sortBy(7, Qt::DescendingOrder), (QStringList{"y", "z", "x"}));
}

void ResultsViewTest::filterKeepsRowsHoldingTheText_data()
{
    QTest::addColumn<QStringList>("findTexts"); // typed one after the other
    QTest::addColumn<bool>("faultsOnly");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("case ignored, in a compact body")
        << QStringList{"b", "BO", "bod"} << false << QStringList{"tart", "Éclair"};
    QTest::newRow("beyond ASCII, case ignored")
        << QStringList{"éc"} << false << QStringList{"Éclair"};
    QTest::newRow("widened again")
        << QStringList{"p", "pi", "p"} << false << QStringList{"tart", "pie"};
    QTest::newRow("faults only") << QStringList{""} << true << QStringList{"tart", "Éclair"};
    QTest::newRow("faults only and text") << QStringList{"ie"} << true << QStringList{};
}

void ResultsViewTest::filterKeepsRowsHoldingTheText()
{
    QFETCH(QStringList, findTexts);
    QFETCH(bool, faultsOnly);
    QFETCH(QStringList, expected);
    ResultTable table = makeTable({"Post Title", "Content", "Error Code"},
                                  {{"pie", "", "0"}, {"tart", "", "26"}, {"Éclair", "", "76"}});
    table.setCell(1, 2, CellText::fromUtf8("<p>A BODY</p>"));
    table.setCell(1, 3, CellText::fromUtf8("body with t"));
    SortedView view;
    view.model.present(table, 2, 3);
    view.sortBy(0, Qt::DescendingOrder); // the filter keeps the order shown
    for (const QString& text : findTexts)
        view.proxy.setFilter({text, faultsOnly ? 2 : -1, QStringLiteral("0")});
    QCOMPARE(shownColumn(view.proxy, 0), expected);
    std::vector<int> rows = view.proxy.shownSourceRows();
    QCOMPARE(qsizetype(rows.size()), expected.size());
}

void ResultsViewTest::columnWidthsIgnoreCase()
{
    const QList<std::pair<QString, int>> cases{
        {"Post Title", 2000}, {"Error Code", 1200}, {"Line", 500},
        {"Narrowed", 1300},   {"HREF", 2000},       {"style", 1200},
        {"Class", 1000},      {"target", 800},      {"id", 2000}};
    const ColumnWidths widths;
    for (const auto& [header, width] : cases)
        QCOMPARE(widths.widthFor(header), width);
    // A table's fixed columns take their own widths; columns a run named, the entries'.
    QCOMPARE(widths.widthFor(errorTableDescription(), ErrorPosColumn, "Pos"), 500);
    QCOMPARE(widths.widthFor(linkTableDescription(), LinkFirstAttributeColumn, "LINE"), 500);
}

void ResultsViewTest::panelShowsOnlyColumnsOnShow()
{
    ResultTable table = makeTable({"Post Title", "Content", "href", "", "", "", "", "", ""},
                                  {{"t", "body", "https://example.com/"}});
    const DetailTexts captions = detailCaptions(table);
    QCOMPARE(QStringList(captions.begin(), captions.end()),
             (QStringList{"Post Title:", "Content:", "href:", ":", ":", ":", ":", ":"}));

    // The table holds a cell past the columns on show; the panel must not show it.
    table.setCell(5, 1, QStringLiteral("stale"));
    ResultsModel model;
    model.present(table, 2, 1);
    const DetailTexts texts = detailTexts(model, 0);
    QCOMPARE(QStringList(texts.begin(), texts.end()),
             (QStringList{"t", "body", "https://example.com/", "", "", "", "", ""}));
    const DetailTexts none = detailTexts(model, -1);
    QCOMPARE(QStringList(none.begin(), none.end()), QStringList(8));
}

QTEST_GUILESS_MAIN(ResultsViewTest)
#include "tst_resultsview.moc"
