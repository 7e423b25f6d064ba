#include "export/tabdelimited.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The tab-delimited file, byte for byte.
class TabDelimitedTest : public QObject
{
    Q_OBJECT

private slots:
    void cut_data();
    void cut();
    void errorTableLayout();
    void linkTableWithBaseColumnsOnly();
    void separatorsInCellsBecomeSpaces_data();
    void separatorsInCellsBecomeSpaces();
    void utf8KeepsCellsWholeAndRowsChosen();
    void fileReplacedOnlyWhenComplete();
    void failuresLeaveTheFileAlone();
};

namespace {

QByteArray written(const TableExtent& extent)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!writeTabDelimited(buffer, extent))
        return "write failed";
    return buffer.data();
}

ResultTable tableOf(const QList<QStringList>& rows)
{
    ResultTable table;
    table.reset(int(rows.first().size()));
    for (int row = 0; row < rows.size(); ++row) {
        if (row > 0)
            table.appendRow();
        for (int column = 0; column < rows[row].size(); ++column)
            table.setCell(column, row, rows[row][column]);
    }
    return table;
}

} // namespace

void TabDelimitedTest::cut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cut");

    QTest::newRow("Latin-1 kept, en dash cuts")
        << QStringLiteral("Café – menu") << QStringLiteral("Café ");
    QTest::newRow("starts with CJK") << QStringLiteral("語学") << QString();
    QTest::newRow("starts with an emoji") << QStringLiteral("😀 smile") << QString();
    QTest::newRow("nothing bad") << QStringLiteral("plain \t\r\n\u00ff")
                                 << QStringLiteral("plain \t\r\n\u00ff");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("cut, not cleaned") << QStringLiteral("ab\u0100cd") << QStringLiteral("ab");
}

void TabDelimitedTest::cut()
{
    QFETCH(QString, text);
    QFETCH(QString, cut);
    QCOMPARE(getToFirstBadChr(text), cut);
}

void TabDelimitedTest::errorTableLayout()
{
    const ResultTable table = tableOf(
        {{"Post Title", "Content", "Error Code", "Reason", "Line", "Pos", "Source", "Narrowed"},
         {"Café – x", "<p>body</p>", "26", "Entity 'nbsp' not defined", "1", "57", "src", "nar"},
         {"", "", "0", "", "0", "0", "", ""}});
    QCOMPARE(written({table, 7, 2}),
             QByteArray("Post Title\tContent\tError Code\tReason\tLine\tPos\tSource\tNarrowed\r\n"
                        "Caf\xE9 \t\t26\tEntity 'nbsp' not defined\t1\t57\tsrc\tnar\r\n"
                        "\t\t0\t\t0\t0\t\t\r\n"));
}

void TabDelimitedTest::linkTableWithBaseColumnsOnly()
{
    ResultTable table = tableOf({{"Post Title", "Content", "", ""}, {"t", "body", "stray", ""}});
    QCOMPARE(written({table, 1, 1}), QByteArray("Post Title\tContent\r\nt\t\r\n"));
}

void TabDelimitedTest::separatorsInCellsBecomeSpaces_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("indented source line") << QStringLiteral("\t\t<p>x") << QByteArray("  <p>x");
    QTest::newRow("CR LF") << QStringLiteral("line\r\nbreak") << QByteArray("line  break");
    QTest::newRow("LF in a title") << QStringLiteral("a\nb") << QByteArray("a b");
    QTest::newRow("lone CR") << QStringLiteral("a\rb") << QByteArray("a b");
    QTest::newRow("cut before the spaces") << QStringLiteral("a\tb\u8a9e\tc") << QByteArray("a b");
}

// One line per row and the same fields on every line, whatever the cells hold; headers are not
// cut.
void TabDelimitedTest::separatorsInCellsBecomeSpaces()
{
    QFETCH(QString, cell);
    QFETCH(QByteArray, field);
    const ResultTable table =
        tableOf({{"Post Title", "Content", "data-語", "Ünïcode"}, {cell, "x\ty", cell, "語"}});
    QCOMPARE(written({table, 3, 1}), "Post Title\tContent\tdata-?\t\xDCn\xEF"
                                     "code\r\n" +
                                         field + "\t\t" + field + "\t\r\n");
}

void TabDelimitedTest::utf8KeepsCellsWholeAndRowsChosen()
{
    const ResultTable table = tableOf({{"Post Title", "Content", "data-語"},
                                       {"Café – menu", "body", "語😀"},
                                       {"second", "", "2"},
                                       {"thi\trd", "", "3"}});
    const std::vector<int> rows{3, 1};
    TableExtent extent{table, 2, 3, &rows};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(writeTabDelimited(buffer, extent, TextEncoding::Utf8));
    QCOMPARE(buffer.data(), QByteArray("\xEF\xBB\xBF") +
                                QStringLiteral("Post Title\tContent\tdata-語\r\nthi rd\t\t3\r\n"
                                               "Café – menu\t\t語😀\r\n")
                                    .toUtf8());
    QCOMPARE(written(extent), QByteArray("Post Title\tContent\tdata-?\r\nthi rd\t\t3\r\n"
                                         "Caf\xE9 \t\t\r\n"));
}

void TabDelimitedTest::fileReplacedOnlyWhenComplete()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out")); // no extension is added
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("old contents that are longer than the new ones");
    existing.close();

    const ResultTable table = tableOf({{"Post Title", "Content"}, {"t", "b"}});
    QCOMPARE(exportTabDelimited(path, {table, 1, 1}).status, ExportResult::Written);
    QFile result(path);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("Post Title\tContent\r\nt\t\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out"});
}

void TabDelimitedTest::failuresLeaveTheFileAlone()
{
    QTemporaryDir dir;
    const ResultTable table = tableOf({{"Post Title", "Content"}, {"t", "b"}});

    const ExportResult intoFolder = exportTabDelimited(dir.path(), {table, 1, 1});
    QCOMPARE(intoFolder.status, ExportResult::Failed);
    QVERIFY(!intoFolder.reason.isEmpty());

    const ExportResult noFolder =
        exportTabDelimited(dir.filePath(QStringLiteral("missing/out.txt")), {table, 1, 1});
    QCOMPARE(noFolder.status, ExportResult::Failed);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

QTEST_GUILESS_MAIN(TabDelimitedTest)
#include "tst_tabdelimited.moc"
