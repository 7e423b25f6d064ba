#include "view/columnwidths.h"
#include "view/detailpanel.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

// A table with the given headers and rows of cells, row 0 being the headers.
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

} // namespace

class ResultsViewTest : public QObject
{
    Q_OBJECT
private slots:
    void modelPresentsTheTableItIsGiven();
    void displayTextIsOneLine();
    void sortOrdersTextAsAListControlDoes_data();
    void sortOrdersTextAsAListControlDoes();
    void sortAfterNewTableUsesTheNewTexts();
    void sortByMissingColumnKeepsTableOrder();
    void columnWidthsIgnoreCase_data();
    void columnWidthsIgnoreCase();
    void panelNamesAndFillsOnlyTheColumnsOnShow();
};

void ResultsViewTest::modelPresentsTheTableItIsGiven()
{
    const ResultTable table = makeTable({"Post Title", "Content", "href", "", ""},
                                        {{"a", "body a", "x"}, {"b", "body b"}});
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    model.present(table, 2, 2);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("href"));
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("body b"));
    QCOMPARE(model.index(1, 2).data().toString(), QString());

    // Items go, columns stay: a run empties the list long before it rebuilds the columns.
    model.clearItems();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 3);

    // A row count past the table's rows never reads beyond them.
    model.present(table, 1, 99);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 2);
}

void ResultsViewTest::displayTextIsOneLine()
{
    const QString body = QStringLiteral("<p>one\r\ntwo\nthree</p>") + QString(5000, u'x');
    ResultTable table = makeTable({"Post Title", "Content"}, {{"t"}});
    table.setCell(1, 1, CellText::fromUtf8(body.toUtf8()));
    ResultsModel model;
    model.present(table, 1, 1);

    const QString shown = model.index(0, 1).data().toString();
    QVERIFY(shown.startsWith(QStringLiteral("<p>one  two three</p>xxx")));
    QVERIFY(shown.size() < body.size());
    QCOMPARE(model.index(0, 1).data(ResultsModel::CellTextRole).toString(), body);
}

void ResultsViewTest::sortOrdersTextAsAListControlDoes_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("case ignored") << QStringList{"beans", "Apples", "carrots", "Café"}
                                  << Qt::AscendingOrder
                                  << QStringList{"Apples", "beans", "Café", "carrots"};
    QTest::newRow("numbers as text") << QStringList{"9", "10", "2", "100"} << Qt::AscendingOrder
                                     << QStringList{"10", "100", "2", "9"};
    QTest::newRow("descending") << QStringList{"9", "10", "2"} << Qt::DescendingOrder
                                << QStringList{"9", "2", "10"};
    QTest::newRow("accent sorts with its letter")
        << QStringList{"Zebra", "Éclair", "Apple", "Egg"} << Qt::AscendingOrder
        << QStringList{"Apple", "Éclair", "Egg", "Zebra"};
    QTest::newRow("empty first") << QStringList{"b", "", "a"} << Qt::AscendingOrder
                                 << QStringList{"", "a", "b"};
}

void ResultsViewTest::sortOrdersTextAsAListControlDoes()
{
    QFETCH(QStringList, texts);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, expected);

    QList<QStringList> rows;
    for (const QString& text : texts)
        rows.append({text});
    const ResultTable table = makeTable({"Post Title"}, rows);
    ResultsModel model;
    ResultsSortProxy proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.present(table, 0, int(texts.size()));

    proxy.setSortKey(0);
    proxy.setSortOrder(order);
    proxy.setSorted(true);
    QCOMPARE(shownColumn(proxy, 0), expected);

    proxy.setSorted(false);
    QCOMPARE(shownColumn(proxy, 0), texts);
}

void ResultsViewTest::sortAfterNewTableUsesTheNewTexts()
{
    // Equal texts keep their table order in both directions, and the order computed for one
    // table is never applied to the next.
    const ResultTable first = makeTable({"T", "N"}, {{"b", "1"}, {"a", "2"}, {"B", "3"}});
    const ResultTable second = makeTable({"T", "N"}, {{"z", "1"}, {"y", "2"}, {"x", "3"}});
    ResultsModel model;
    ResultsSortProxy proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);

    model.present(first, 1, 3);
    proxy.setSortKey(0);
    proxy.setSortOrder(Qt::DescendingOrder);
    proxy.setSorted(true);
    QCOMPARE(shownColumn(proxy, 1), (QStringList{"1", "3", "2"}));

    proxy.setSorted(false);
    model.present(second, 1, 3);
    proxy.setSorted(true);
    QCOMPARE(shownColumn(proxy, 0), (QStringList{"z", "y", "x"}));
    proxy.setSortOrder(Qt::AscendingOrder);
    proxy.setSorted(true);
    QCOMPARE(shownColumn(proxy, 0), (QStringList{"x", "y", "z"}));
}

void ResultsViewTest::sortByMissingColumnKeepsTableOrder()
{
    const ResultTable table = makeTable({"T", "C", "href"}, {{"b"}, {"a"}});
    ResultsModel model;
    ResultsSortProxy proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.present(table, 2, 2);
    proxy.setSortKey(7);
    proxy.setSorted(true);
    QCOMPARE(shownColumn(proxy, 0), (QStringList{"b", "a"}));
}

void ResultsViewTest::columnWidthsIgnoreCase_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("width");
    QTest::newRow("Post Title") << "Post Title" << 2000;
    QTest::newRow("Error Code") << "Error Code" << 1200;
    QTest::newRow("Line") << "Line" << 500;
    QTest::newRow("Narrowed") << "Narrowed" << 1300;
    QTest::newRow("HREF") << "HREF" << 2000;
    QTest::newRow("style") << "style" << 1200;
    QTest::newRow("class") << "class" << 1000;
    QTest::newRow("Target") << "Target" << 800;
    QTest::newRow("unknown id") << "id" << 2000;
    QTest::newRow("empty") << "" << 2000;
}

void ResultsViewTest::columnWidthsIgnoreCase()
{
    QFETCH(QString, header);
    QFETCH(int, width);
    QCOMPARE(ColumnWidths().widthFor(header), width);
}

void ResultsViewTest::panelNamesAndFillsOnlyTheColumnsOnShow()
{
    ResultTable table = makeTable({"Post Title", "Content", "href", "", "", "", "", "", "", ""},
                                  {{"t", "body", "https://example.com/"}});
    const DetailTexts captions = detailCaptions(table);
    QCOMPARE(captions[0], QStringLiteral("Post Title:"));
    QCOMPARE(captions[2], QStringLiteral("href:"));
    QCOMPARE(captions[3], QStringLiteral(":"));
    QCOMPARE(captions[7], QStringLiteral(":"));

    // The table holds a cell past the columns on show; the panel must not show it.
    table.setCell(5, 1, QStringLiteral("stale"));
    ResultsModel model;
    model.present(table, 2, 1);
    const DetailTexts texts = detailTexts(model, 0);
    QCOMPARE(texts[0], QStringLiteral("t"));
    QCOMPARE(texts[2], QStringLiteral("https://example.com/"));
    for (int slot = 3; slot < detailSlotCount; ++slot)
        QVERIFY(texts[size_t(slot)].isEmpty());
    for (const QString& text : detailTexts(model, -1))
        QVERIFY(text.isEmpty());
}

QTEST_GUILESS_MAIN(ResultsViewTest)
#include "tst_resultsview.moc"
