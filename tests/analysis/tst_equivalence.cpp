#include "analysis/analysisrun.h"
#include "export/tabdelimited.h"
#include "exportfixture.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

// However many threads check the posts, a run must give exactly the tables of the plain run that
// checks them one after another on the calling thread.
class EquivalenceTest : public QObject
{
    Q_OBJECT

private slots:
    void workersChangeNothing_data();
    void workersChangeNothing();
};

namespace {

// Blog-like bodies: paragraphs, links and images at the top level and nested, text beyond
// Latin-1, and now and then one of the faults WordPress bodies carry.
QString generatedBody(QRandomGenerator& random)
{
    static const QStringList blocks{
        "<p>Plain paragraph with café and 語 and 😀.</p>",
        "<a href=\"https://example.com/%1\" title=\"Link %1\">link</a>",
        "<a href=\"https://example.com/%1\"><img src=\"/img/%1.jpg\" alt=\"Picture\" "
        "width=\"640\"/></a>",
        "<img src=\"/img/%1.png\" class=\"aligncenter\" data-id=\"%1\"/>",
        "<p>Nested <a href=\"https://nested.example/%1\">link</a> in text.</p>",
        "<a rel=\"nofollow\" target=\"_blank\" href=\"/%1\" n%1=\"x\">many columns</a>",
        "<ul><li>one</li><li>two</li></ul>",
        "line<br/>break\n",
    };
    static const QStringList faults{"x<br>y",
                                    "a&nbsp;b",
                                    "<a href=\"?a=1&b=2\">q</a>",
                                    "<img src=x.png/>",
                                    "<img alt=\"a\" alt=\"b\"/>",
                                    "<p>open",
                                    "<h:tag>prefix</h:tag>"};
    QString body;
    for (int block = random.bounded(0, 12); block > 0; --block)
        body += QString(blocks.at(random.bounded(blocks.size())))
                    .replace(QLatin1String("%1"), QString::number(random.bounded(40)));
    if (random.bounded(5) == 0)
        body.insert(random.bounded(body.size() + 1), faults.at(random.bounded(faults.size())));
    return body;
}

QString generatedExport(int items, quint32 seed)
{
    QRandomGenerator random(seed);
    QStringList elements;
    for (int i = 0; i < items; ++i)
        elements << ExportFixture::item(QStringLiteral("Post %1 – ü").arg(i),
                                        generatedBody(random));
    return ExportFixture::channelWith(elements);
}

// Every cell of both tables, the bodies included, and both files as the writer makes them.
QList<QByteArray> everything(const ResultTables& tables)
{
    QList<QByteArray> result;
    for (const auto& [table, lastColumn, rows] :
         {std::tuple{&tables.errorTable, int(ErrorColumnCount - 1), tables.errorRowCount},
          std::tuple{&tables.linkTable, tables.linkLastColumn, tables.linkRowCount}}) {
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        writeTabDelimited(file, {*table, lastColumn, rows});
        result << file.data();
        for (int row = 0; row <= rows; ++row) {
            for (int column = 0; column <= lastColumn; ++column)
                result << table->cell(column, row).toUtf8();
        }
    }
    return result;
}

} // namespace

void EquivalenceTest::workersChangeNothing_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("tag");

    QTest::newRow("sample export") << QString() << QStringLiteral("dummy");
    QTest::newRow("2 000 generated posts") << generatedExport(2000, 1) << QStringLiteral("dummy");
    QTest::newRow("generated, other wrapper") << generatedExport(700, 2) << QStringLiteral("post");
    QTest::newRow("single post") << generatedExport(1, 3) << QStringLiteral("dummy");
}

void EquivalenceTest::workersChangeNothing()
{
    QFETCH(QString, document);
    QFETCH(QString, tag);
    ExportFixture fixture;
    const QString path = document.isEmpty() ? QStringLiteral(POSTLINT_BIN_DIR "/sample-export.xml")
                                            : fixture.write(document);

    QList<QByteArray> reference;
    for (const int workers : {1, 2, 5}) {
        ResultTables tables;
        AnalysisOptions options;
        options.dummyTag = tag;
        options.workerCount = workers;
        qint64 lastProgress = 0;
        options.progress = [&](qint64 recorded) {
            QVERIFY(recorded > lastProgress);
            lastProgress = recorded;
        };
        QVERIFY(runAnalysis(path, tables, options).foundItems);
        QCOMPARE(lastProgress, qint64(tables.errorRowCount));
        if (workers == 1)
            reference = everything(tables);
        else
            QVERIFY2(everything(tables) == reference,
                     qPrintable(QStringLiteral("%1 workers").arg(workers)));
    }
}

QTEST_GUILESS_MAIN(EquivalenceTest)
#include "tst_equivalence.moc"
