#include "checkpost.h"

#include <QTest>

// Which links and images of a post reach the link table, and in which columns.
class LinkCollectorTest : public QObject
{
    Q_OBJECT

private slots:
    void topLevelSelection_data();
    void topLevelSelection();
    void columnsInFirstMetOrder();
    void columnLimit();
    void contentAttributeReplacesBody();
    void imageInLinkWithoutAttributes();
    void attributeNamesBeyondWhatIsKept();
};

namespace {

// The link table after checking the bodies, as lines "col=value|col=value" per row.
QStringList linkRows(const QStringList& bodies, const QString& tag = QStringLiteral("dummy"))
{
    ResultTables tables;
    tables.reset();
    for (const QString& body : bodies)
        checkPost(tables, QStringLiteral("T"), body, tag);
    QStringList rows;
    for (int row = 1; row <= tables.linkRowCount; ++row) {
        QStringList cells;
        for (int column = LinkFirstAttributeColumn; column <= tables.linkLastColumn; ++column) {
            const QString value = tables.linkTable.cell(column, row);
            if (!value.isEmpty())
                cells << tables.linkTable.cell(column, 0) + QLatin1Char('=') + value;
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

void LinkCollectorTest::topLevelSelection_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("rows");

    const QString dummy = QStringLiteral("dummy");
    QTest::newRow("single link") << dummy << QStringLiteral("<a href=\"h\" title=\"t\">x</a>")
                                 << QStringList{"href=h|title=t"};
    QTest::newRow("image in a link joins its row")
        << dummy
        << QStringLiteral("<a href=\"h\"><img src=\"s\" alt=\"a\" width=\"1\" height=\"2\"/></a>")
        << QStringList{"href=h|src=s|alt=a|width=1|height=2"};
    QTest::newRow("image outside a link")
        << dummy << QStringLiteral("<img src=\"s\"/>") << QStringList{"src=s"};
    QTest::newRow("link inside a paragraph")
        << dummy << QStringLiteral("<p><a href=\"h\">x</a></p>") << QStringList{};
    QTest::newRow("image deeper inside a link")
        << dummy << QStringLiteral("<a href=\"h\"><span><img src=\"s\"/></span></a>")
        << QStringList{"href=h"};
    QTest::newRow("link without attributes")
        << dummy << QStringLiteral("<a>x</a>") << QStringList{};
    QTest::newRow("capitals are other names")
        << dummy << QStringLiteral("<A href=\"h\">x</A><IMG src=\"s\"/>") << QStringList{};
    QTest::newRow("namespaced elements are other names")
        << dummy
        << QStringLiteral("<a xmlns=\"urn:x\" href=\"h\">x</a><h:img xmlns:h=\"urn:h\" src=\"s\"/>")
        << QStringList{};
    QTest::newRow("namespace declarations are not attributes")
        << dummy
        << QStringLiteral(
               "<a xmlns:h=\"urn:h\">x</a><img xmlns:g=\"urn:g\" h:x=\"1\" xmlns:h=\"urn:h\"/>")
        << QStringList{"h:x=1"};
    QTest::newRow("references replaced in values")
        << dummy << QStringLiteral("<a href=\"?a=1&amp;b=&#50;&lt;\">x</a>")
        << QStringList{"href=?a=1&b=2<"};
    QTest::newRow("later element keeps its value")
        << dummy
        << QStringLiteral(
               "<a href=\"h\" title=\"link\"><img title=\"image\" src=\"1\"/><img src=\"2\"/></a>")
        << QStringList{"href=h|title=image|src=2"};
    QTest::newRow("body that does not parse")
        << dummy << QStringLiteral("<a href=\"h\">x</a>&nbsp;") << QStringList{};
    QTest::newRow("namespace fault after a link")
        << dummy << QStringLiteral("<a href=\"h\">x</a><h:b/>") << QStringList{};
    QTest::newRow("other wrapper name")
        << QStringLiteral("post") << QStringLiteral("<a href=\"h\">x</a>") << QStringList{"href=h"};
    QTest::newRow("wrapper named a")
        << QStringLiteral("a") << QStringLiteral("<a href=\"h\"><a href=\"i\"/></a>")
        << QStringList{"href=h"};
    QTest::newRow("wrapper name with a trailing blank")
        << QStringLiteral("dummy ") << QStringLiteral("<img src=\"s\"/>") << QStringList{"src=s"};
    QTest::newRow("nested wrapper-named element is not the top")
        << dummy << QStringLiteral("<dummy><a href=\"h\">x</a></dummy>") << QStringList{};
}

void LinkCollectorTest::topLevelSelection()
{
    QFETCH(QString, tag);
    QFETCH(QString, body);
    QFETCH(QStringList, rows);
    QCOMPARE(linkRows({body}, tag), rows);
}

void LinkCollectorTest::columnsInFirstMetOrder()
{
    ResultTables tables;
    tables.reset();
    checkPost(tables, QStringLiteral("first"), QStringLiteral("<a href=\"1\">x</a>"),
              QStringLiteral("dummy"));
    checkPost(tables, QStringLiteral("second"),
              QStringLiteral("<img Href=\"2\" href=\"3\" rel=\"r\"/>"), QStringLiteral("dummy"));

    QCOMPARE(tables.linkLastColumn, 4);
    QCOMPARE(tables.linkTable.cell(2, 0), QStringLiteral("href"));
    QCOMPARE(tables.linkTable.cell(3, 0), QStringLiteral("Href"));
    QCOMPARE(tables.linkTable.cell(4, 0), QStringLiteral("rel"));
    QCOMPARE(tables.linkTable.cell(3, 1), QString()); // first row predates the column
    QCOMPARE(tables.linkTable.cell(2, 2), QStringLiteral("3"));
    QCOMPARE(tables.linkTable.cell(0, 2), QStringLiteral("second"));
    QCOMPARE(tables.linkTable.cell(1, 2), QStringLiteral("<img Href=\"2\" href=\"3\" rel=\"r\"/>"));
}

void LinkCollectorTest::columnLimit()
{
    ResultTables tables;
    tables.reset();
    QString attributes;
    for (int i = 1; i <= 25; ++i)
        attributes += QStringLiteral(" n%1=\"v%1\"").arg(i);
    checkPost(tables, QStringLiteral("t"), QStringLiteral("<img%1/>").arg(attributes),
              QStringLiteral("dummy"));
    checkPost(tables, QStringLiteral("t"), QStringLiteral("<img n25=\"late\" n22=\"kept\"/>"),
              QStringLiteral("dummy"));

    QCOMPARE(tables.linkLastColumn, 23);
    QCOMPARE(tables.linkTable.cell(23, 0), QStringLiteral("n22"));
    QCOMPARE(tables.linkTable.cell(23, 1), QStringLiteral("v22"));
    QCOMPARE(tables.linkTable.cell(23, 2), QStringLiteral("kept"));
    for (int row = 0; row <= 2; ++row)
        QVERIFY(!tables.linkTable.cellText(23, row).toString().contains(QLatin1String("late")));
    // What was left out is counted per name, the most frequent named first.
    QCOMPARE(leftOutSummary(tables.leftOutAttributes()),
             QStringLiteral("n25 (2), n23 (1), n24 (1)"));
    QCOMPARE(leftOutSummary(tables.leftOutAttributes(), 1),
             QStringLiteral("n25 (2), and 2 other names"));
    tables.reset();
    QCOMPARE(leftOutSummary(tables.leftOutAttributes()), QString());
}

void LinkCollectorTest::contentAttributeReplacesBody()
{
    ResultTables tables;
    tables.reset();
    checkPost(tables, QStringLiteral("t"), QStringLiteral("<a Content=\"c\">x</a>"),
              QStringLiteral("dummy"));
    QCOMPARE(tables.linkLastColumn, 1);
    QCOMPARE(tables.linkTable.cell(LinkContentColumn, 1), QStringLiteral("c"));
    QCOMPARE(tables.linkTable.cell(LinkContentColumn, 0), QStringLiteral("Content"));
}

void LinkCollectorTest::imageInLinkWithoutAttributes()
{
    // Each image gets a row of its own, and nothing ever reaches the header row, even when the
    // table has no data row yet.
    ResultTables tables;
    tables.reset();
    checkPost(tables, QStringLiteral("t"),
              QStringLiteral("<a><img src=\"1\"/><img src=\"2\"/></a>"), QStringLiteral("dummy"));
    QCOMPARE(tables.linkRowCount, 2);
    QCOMPARE(tables.linkTable.cell(2, 0), QStringLiteral("src"));
    QCOMPARE(tables.linkTable.cell(2, 1), QStringLiteral("1"));
    QCOMPARE(tables.linkTable.cell(2, 2), QStringLiteral("2"));
}

void LinkCollectorTest::attributeNamesBeyondWhatIsKept()
{
    AttributeNames names;
    const QString href = names.name(nullptr, "href");
    QCOMPARE(names.name(nullptr, "href").constData(), href.constData()); // kept once
    for (int i = 0; i < 10000; ++i)
        QCOMPARE(names.name(i % 2 ? "x" : nullptr, QByteArray::number(i).constData()),
                 (i % 2 ? QStringLiteral("x:") : QString()) + QString::number(i));
    QCOMPARE(names.name(nullptr, "href"), QStringLiteral("href"));
}

QTEST_GUILESS_MAIN(LinkCollectorTest)
#include "tst_linkcollector.moc"
