#include "analysis/errornarrowing.h"
#include "analysis/postcheck.h"
#include "analysis/resulttables.h"

#include <QTest>

// The tables' shape and their one derived column, Narrowed.
class ResultTablesTest : public QObject
{
    Q_OBJECT

private slots:
    void noTableBeforeTheFirstRun();
    void resetKeepsOnlyTheHeaders();
    void cellsOutsideTheTableReadEmpty();
    void compactCellsShareOneBody();
    void narrowing_data();
    void narrowing();
    void narrowingSkipsRowsWithoutPosition();
};

void ResultTablesTest::noTableBeforeTheFirstRun()
{
    const ResultTables tables;
    QVERIFY(!tables.exist());
    QCOMPARE(tables.errorTable.rowCount(), 0);
    QCOMPARE(tables.linkTable.rowCount(), 0);
    QCOMPARE(tables.linkLastColumn, 0);
}

void ResultTablesTest::resetKeepsOnlyTheHeaders()
{
    ResultTables tables;
    tables.reset();
    const int row = tables.appendErrorRow();
    tables.errorTable.setCell(ErrorTitleColumn, row, QStringLiteral("old"));
    tables.appendLinkRow();
    tables.linkColumnFor(QStringLiteral("href"));

    tables.reset();
    QCOMPARE(tables.errorRowCount, 0);
    QCOMPARE(tables.linkRowCount, 0);
    QCOMPARE(tables.linkLastColumn, 1);
    QCOMPARE(tables.errorTable.rowCount(), 1);
    QCOMPARE(tables.errorTable.columnCount(), 8);
    QCOMPARE(tables.linkTable.columnCount(), 24);
    const QStringList headers{"Post Title", "Content", "Error Code", "Reason",
                              "Line",       "Pos",     "Source",     "Narrowed"};
    for (int column = 0; column < 8; ++column)
        QCOMPARE(tables.errorTable.cell(column, 0), headers.at(column));
    QCOMPARE(tables.linkTable.cell(0, 0), QStringLiteral("Post Title"));
    QCOMPARE(tables.linkTable.cell(1, 0), QStringLiteral("Content"));
    for (int column = 2; column < 24; ++column)
        QVERIFY(tables.linkTable.cell(column, 0).isEmpty());
    QCOMPARE(tables.findLinkColumn(QStringLiteral("href")), -1);
}

void ResultTablesTest::cellsOutsideTheTableReadEmpty()
{
    ResultTables tables;
    tables.reset();
    tables.errorTable.setCell(8, 0, QStringLiteral("x"));
    tables.errorTable.setCell(0, 1, QStringLiteral("x"));
    QVERIFY(tables.errorTable.cell(8, 0).isEmpty());
    QVERIFY(tables.errorTable.cell(0, 1).isEmpty());
    QVERIFY(tables.errorTable.cell(-1, 0).isEmpty());
    QCOMPARE(tables.errorTable.rowCount(), 1);
}

void ResultTablesTest::compactCellsShareOneBody()
{
    ResultTable table;
    table.reset(3);
    table.appendRow();
    table.appendRow();
    const QByteArray body = QStringLiteral("<p>Café 😀</p>").toUtf8();
    table.setCell(1, 1, CellText::fromUtf8(body));
    table.setCell(1, 2, table.cellText(1, 1));
    QVERIFY(table.cellText(1, 2).isCompact());
    QCOMPARE(table.cellText(1, 2).toUtf8().constData(), body.constData()); // one copy
    QCOMPARE(table.cell(1, 2), QStringLiteral("<p>Café 😀</p>"));
}

void ResultTablesTest::narrowing_data()
{
    QTest::addColumn<int>("sourceLength");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("first"); // 1-based, 0 for the empty text
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("emojiAt"); // where a surrogate pair starts in the source, or 0

    QTest::newRow("pos 10") << 200 << 10 << 1 << 20 << 0;
    QTest::newRow("pos 11") << 200 << 11 << 1 << 21 << 0;
    QTest::newRow("pos 50 of 200") << 200 << 50 << 40 << 60 << 0;
    QTest::newRow("pos 50 of 55") << 55 << 50 << 40 << 55 << 0;
    QTest::newRow("pos 3 of 5") << 5 << 3 << 1 << 5 << 0;
    QTest::newRow("pos past the end plus 10") << 30 << 41 << 0 << 0 << 0;
    QTest::newRow("pos just within reach") << 30 << 40 << 30 << 30 << 0;
    QTest::newRow("pos 0") << 30 << 0 << 1 << 10 << 0;
    QTest::newRow("negative pos") << 30 << -20 << 0 << 0 << 0;
    // Half of an emoji at either end goes with its other half.
    QTest::newRow("emoji cut at the start") << 200 << 50 << 41 << 60 << 39;
    QTest::newRow("emoji cut at the end") << 200 << 50 << 40 << 59 << 60;
    QTest::newRow("emoji whole at the start") << 200 << 50 << 40 << 60 << 40;
}

void ResultTablesTest::narrowing()
{
    QFETCH(int, sourceLength);
    QFETCH(int, pos);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, emojiAt);

    QString source;
    for (int i = 0; i < sourceLength; ++i)
        source += QChar(u'A' + i % 26);
    if (emojiAt > 0)
        source.replace(emojiAt - 1, 2, QStringLiteral("\U0001F600"));
    const QString expected = first == 0 ? QString() : source.mid(first - 1, last - first + 1);
    QCOMPARE(narrowAround(source, pos), expected);
}

void ResultTablesTest::narrowingSkipsRowsWithoutPosition()
{
    ResultTables tables;
    tables.reset();
    const QString source =
        QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?><dummy>&nbsp;body text)");
    PostReport report;
    report.errorCode = 26;
    report.pos = 46;
    report.sourceUtf8 = source.toUtf8();
    tables.appendErrorRow(errorRowOf(QString(), QString(), report));
    report.sourceUtf8.clear();
    tables.appendErrorRow(errorRowOf(QString(), QString(), report));

    // A fault at the body's first character: the end of the declaration, the wrapper, 11 of body.
    QCOMPARE(tables.errorTable.cell(ErrorNarrowedColumn, 1),
             QStringLiteral("\"?><dummy>&nbsp;body "));
    QCOMPARE(tables.errorTable.cell(ErrorNarrowedColumn, 2), QString());
    // Numbers are kept as numbers beside their cells.
    QCOMPARE(tables.errorTable.numberIn(ErrorPosColumn, 1), 46);
    QCOMPARE(tables.errorTable.number(ErrorBodyOffsetNumber, 1), -1);
    QCOMPARE(tables.errorTable.numberIn(ErrorReasonColumn, 1), ResultTable::noNumber);
}

QTEST_GUILESS_MAIN(ResultTablesTest)
#include "tst_resulttables.moc"
