#include "analysis/analysisrun.h"
#include "analysis/exportreader.h"
#include "analysis/exportrepair.h"
#include "childprocess.h"
#include "exportfixture.h"

#include <QElapsedTimer>
#include <QStringConverter>
#include <QTest>

// Which items an export yields, and which exports yield none.
class ExportReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void items_data();
    void items();
    void unusable_data();
    void unusable();
    void faultAtTheEndTakesBackEveryRow();
    void externalEntityIsNeverRead();
    void otherEncodings_data();
    void otherEncodings();
    void missingFileAndFolder();
    void exportFaults_data();
    void exportFaults();
    void mendedByHand_data();
    void mendedByHand();
    void repairDoesNotDependOnReads();
    void siteFields();
};

namespace {

using Items = QList<QPair<QString, QString>>; // title, body

Items readItems(const QString& path, bool* usable = nullptr)
{
    Items items;
    const ExportReadResult result = readExport(path, [&](ExportItem&& item) {
        items.append({item.title, QString::fromUtf8(item.bodyUtf8)});
    });
    if (usable != nullptr)
        *usable = result.usable;
    return items;
}

// An item past which the reader may hold long CDATA texts back from libxml2: whether it may is
// only known once it has read the first bytes.
const QString pastProlog = ExportFixture::item("past", QString(70000, 'p'));
const QPair<QString, QString> pastPrologItem{"past", QString(70000, 'p')};

const QString rssOpen = QStringLiteral(
    "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">");

// An internal subset that declares everything the small exports below use.
const QString declaredDoctype =
    QStringLiteral("<!DOCTYPE rss [\n"
                   "<!ELEMENT rss (channel)*>\n"
                   "<!ATTLIST rss version CDATA #IMPLIED xmlns:content CDATA #IMPLIED>\n"
                   "<!ELEMENT channel (item)*>\n"
                   "<!ELEMENT item (title?, content:encoded?)>\n"
                   "<!ELEMENT title (#PCDATA)>\n"
                   "<!ELEMENT content:encoded (#PCDATA)>\n"
                   "<!ENTITY brand \"Garden &amp; Co\">\n"
                   "]>\n");

} // namespace

void ExportReaderTest::items_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<Items>("expected");

    QTest::newRow("one item") << ExportFixture::channelWith(
                                     {ExportFixture::item("Hello", "<p>x</p>")})
                              << Items{{"Hello", "<p>x</p>"}};
    QTest::newRow("several channels in file order")
        << rssOpen + "<channel><item><title>1</title></item></channel><channel><item><title>2</"
                     "title></item>"
                     "<item><title>3</title></item></channel></rss>"
        << Items{{"1", ""}, {"2", ""}, {"3", ""}};
    QTest::newRow("items elsewhere are ignored")
        << rssOpen +
               "<item><title>top</title></item><channel><group><item><title>deep</title></item></"
               "group>"
               "<item><title>kept</title><item><title>inner</title></item></item></channel></rss>"
        << Items{{"kept", ""}};
    // Each item reads its own children: a missing one is empty, never the item before's.
    QTest::newRow("missing title and body")
        << ExportFixture::channelWith(
               {ExportFixture::item("first", "<b>1</b>"),
                "<item><content:encoded>second body</content:encoded></item>",
                "<item><title>third</title></item>"})
        << Items{{"first", "<b>1</b>"}, {"", "second body"}, {"third", ""}};
    QTest::newRow("empty body") << ExportFixture::channelWith(
                                       {"<item><title>t</title><content:encoded/></item>"})
                                << Items{{"t", ""}};
    QTest::newRow("first of two children")
        << ExportFixture::channelWith(
               {"<item><title>a</title><title>b</title><content:encoded>1</content:encoded>"
                "<content:encoded>2</content:encoded></item>"})
        << Items{{"a", "1"}};
    QTest::newRow("text, references and CDATA joined")
        << ExportFixture::channelWith(
               {"<item><title>A &amp; B&#160;C</title><content:encoded>\n a &lt;b&gt; "
                "<![CDATA[<i>x</i>]]>\n</content:encoded></item>"})
        << Items{{"A & B\u00a0C", "\n a <b> <i>x</i>\n"}};
    QTest::newRow("other prefix for the content module")
        << "<rss "
           "xmlns:c=\"http://purl.org/rss/1.0/modules/content/\"><channel><item><title>t</title>"
           "<c:encoded>body</c:encoded></item></channel></rss>"
        << Items{{"t", "body"}};
    QTest::newRow("namespaced title is not the title")
        << "<rss "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><item><dc:title>x</dc:title>"
           "</item></channel></rss>"
        << Items{{"", ""}};
    QTest::newRow("CR LF and lone CR in CDATA become LF")
        << ExportFixture::channelWith({"<item><title><![CDATA[A\r\nB]]></title><content:encoded>"
                                       "<![CDATA[<p>\rx\r\n</p>]]></content:encoded></item>"})
        << Items{{"A\nB", "<p>\nx\n</p>"}};
    {
        // Long enough to be held back from libxml2 in pieces, with what ends a piece early.
        QString text;
        for (int line = 0; line < 200; ++line)
            text +=
                QStringLiteral(u"<p>%1 caf\u00e9 [x] \U0001F600 \U0010FF3F ]] ]</p>\n").arg(line);
        const QString title(300, QLatin1Char('T'));
        QTest::newRow("long CDATA texts, some never read, come back whole")
            << ExportFixture::channelWith(
                   {pastProlog,
                    ExportFixture::item("<![CDATA[" + title + "]]>",
                                        text + "]]]]><![CDATA[>" + text)
                        .replace("<content:encoded>", "<wp:excerpt><![CDATA[" + text +
                                                          "]]></wp:excerpt><content:encoded>"),
                    ExportFixture::item("second", text + "\x0B" + text)})
            << Items{
                   pastPrologItem, {title, text + "]]>" + text}, {"second", text + "\x0B" + text}};
    }
    QTest::newRow("valid against its DOCTYPE, entity substituted")
        << "<?xml version=\"1.0\"?>\n" + declaredDoctype + rssOpen +
               "<channel><item><title>&brand;</title><content:encoded>b</content:encoded></item></"
               "channel></rss>"
        << Items{{"Garden & Co", "b"}};
}

void ExportReaderTest::items()
{
    QFETCH(QString, document);
    QFETCH(Items, expected);
    ExportFixture fixture;
    bool usable = false;
    QCOMPARE(readItems(fixture.write(document), &usable), expected);
    QVERIFY(usable);
}

void ExportReaderTest::unusable_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("not XML") << QByteArray("This is a plain text file.\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("well-formed, no items")
        << QByteArray("<rss><channel><title>x</title></channel></rss>");
    QTest::newRow("other root") << QByteArray(
        "<feed><channel><item><title>x</title></item></channel></feed>");
    QTest::newRow("truncated")
        << ExportFixture::channelWith({ExportFixture::item("a", "b")}).toUtf8().left(200);
    QTest::newRow("invalid against its DOCTYPE")
        << (declaredDoctype + rssOpen + "<channel><item><link>x</link></item></channel></rss>")
               .toUtf8();
    QTest::newRow("DOCTYPE that declares nothing")
        << QByteArray("<!DOCTYPE rss><rss><channel><item/></channel></rss>");
    QTest::newRow("external DTD") << QByteArray(
        "<!DOCTYPE rss SYSTEM "
        "\"http://example.com/rss.dtd\"><rss><channel><item/></channel></rss>");
    QTest::newRow("external parameter entity") << QByteArray(
        "<!DOCTYPE rss [<!ENTITY % p SYSTEM \"http://example.com/p.ent\"> %p; <!ELEMENT rss ANY>]>"
        "<rss><channel><item/></channel></rss>");
    QByteArray laughs = "<!DOCTYPE rss [<!ELEMENT rss ANY><!ENTITY l0 \"ha\">";
    for (int level = 1; level <= 10; ++level)
        laughs +=
            QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">")
                .arg(level)
                .arg(level - 1)
                .toUtf8();
    laughs += "]><rss><channel><item><title>&l10;</title></item></channel></rss>";
    QTest::newRow("billion laughs") << laughs;
}

void ExportReaderTest::unusable()
{
    QFETCH(QByteArray, bytes);
    ExportFixture fixture;
    ResultTables tables;
    QElapsedTimer timer;
    timer.start();
    const AnalysisOutcome outcome = runAnalysis(fixture.write(bytes), tables, {});
    QVERIFY(!outcome.foundItems);
    QVERIFY2(timer.elapsed() < childprocess::secondsAllowed(5) * 1000,
             "an unusable export must be turned down quickly");
    QCOMPARE(tables.errorRowCount, 0);
    QCOMPARE(tables.errorTable.rowCount(), 1);
    QCOMPARE(tables.linkRowCount, 0);
    QCOMPARE(tables.linkLastColumn, 1);
}

void ExportReaderTest::faultAtTheEndTakesBackEveryRow()
{
    QStringList items;
    for (int i = 0; i < 500; ++i)
        items << ExportFixture::item(QString::number(i), "<a href=\"x\">y</a>");
    QString document = ExportFixture::channelWith(items);
    document.replace(QLatin1String("</channel>"), QLatin1String("<oops"));

    ExportFixture fixture;
    for (const int workers : {1, 3}) {
        ResultTables tables;
        AnalysisOptions options;
        options.workerCount = workers;
        QVERIFY(!runAnalysis(fixture.write(document), tables, options).foundItems);
        QCOMPARE(tables.errorRowCount, 0);
        QCOMPARE(tables.linkRowCount, 0);
        QCOMPARE(tables.linkLastColumn, 1);
    }
}

void ExportReaderTest::externalEntityIsNeverRead()
{
    ExportFixture fixture;
    const QString secretPath =
        fixture.write(QByteArray("SECRET-CONTENT"), QStringLiteral("secret.txt"));
    const QString document =
        QStringLiteral("<!DOCTYPE rss [<!ELEMENT rss ANY><!ELEMENT channel ANY><!ELEMENT item ANY>"
                       "<!ELEMENT title ANY><!ENTITY secret SYSTEM \"file://%1\">]>"
                       "<rss><channel><item><title>&secret;</title></item></channel></rss>")
            .arg(secretPath);
    bool usable = true;
    const Items items = readItems(fixture.write(document), &usable);
    QVERIFY(!usable);
    for (const auto& item : items)
        QVERIFY(!item.first.contains(QLatin1String("SECRET")));
}

void ExportReaderTest::otherEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QString document =
        ExportFixture::channelWith({ExportFixture::item("Café", "<p>naïve</p>")});
    QString latin1Document = document;
    latin1Document.replace(QLatin1String("UTF-8"), QLatin1String("ISO-8859-1"));
    QTest::newRow("ISO-8859-1") << latin1Document.toLatin1();

    QString utf16Document = document;
    utf16Document.replace(QLatin1String("UTF-8"), QLatin1String("UTF-16"));
    QStringEncoder toUtf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QTest::newRow("UTF-16 with byte-order mark") << QByteArray(toUtf16(utf16Document));
    QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF") + document.toUtf8();
}

void ExportReaderTest::otherEncodings()
{
    QFETCH(QByteArray, bytes);
    ExportFixture fixture;
    bool usable = false;
    QCOMPARE(readItems(fixture.write(bytes), &usable), (Items{{"Café", "<p>naïve</p>"}}));
    QVERIFY(usable);
}

void ExportReaderTest::missingFileAndFolder()
{
    ExportFixture fixture;
    bool usable = true;
    QVERIFY(readItems(fixture.path(QStringLiteral("missing.xml")), &usable).isEmpty());
    QVERIFY(!usable);
    usable = true;
    QVERIFY(readItems(fixture.path(QString()), &usable).isEmpty());
    QVERIFY(!usable);
}

namespace {

QString itemWithId(const QString& title, const QString& body, const QString& postId)
{
    return ExportFixture::item(title, body)
        .replace(QLatin1String("</item>"),
                 QStringLiteral("<wp:post_id>%1</wp:post_id></item>").arg(postId));
}

QString described(const ExportFault& fault)
{
    QString text = QStringLiteral("%1:%2 %3").arg(fault.line).arg(fault.column).arg(fault.reason);
    return fault.inItem ? text + QStringLiteral(" in %1/%2").arg(fault.itemTitle, fault.postId)
                        : text;
}

} // namespace

// Faults that leave the structure intact are read through and listed where they lie; one that
// breaks it leaves no items and is the problem, placed the same way.
void ExportReaderTest::exportFaults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Items>("expected");
    QTest::addColumn<QStringList>("faults"); // of an unusable export: its problem

    QTest::newRow("control character: kept in the body, left out of the title")
        << ExportFixture::channelWith({itemWithId("T\x0B", "<p>a\x0B</p>", "7")}).toUtf8()
        << Items{{"T", "<p>a\x0B</p>"}}
        << QStringList{"6:15 PCDATA invalid Char value 11 in T/7",
                       "6:54 PCDATA invalid Char value 11 in T/7"};
    QTest::newRow("control character right after a long run of text")
        << ExportFixture::channelWith(
               {pastProlog, itemWithId("T", QString(200, 'x') + "]\x0B", "7")})
               .toUtf8()
        << Items{pastPrologItem, {"T", QString(200, 'x') + "]\x0B"}}
        << QStringList{"7:250 PCDATA invalid Char value 11 in T/7"};
    QTest::newRow("U+FFFF outside title and body")
        << ExportFixture::channelWith(
               {itemWithId("M", "x", "8")
                    .replace("</item>", QStringLiteral(u"<wp:meta>x\uFFFF</wp:meta></item>"))})
               .toUtf8()
        << Items{{"M", "x"}} << QStringList{"6:107 PCDATA invalid Char value 65535 in M/8"};
    QTest::newRow("bytes that are not UTF-8")
        << ExportFixture::channelWith({itemWithId("Caf@", "<p>#(</p>", "9")})
               .toUtf8()
               .replace('@', '\xE9')
               .replace('#', '\xC3')
        << Items{{QStringLiteral(u"Caf\uFFFD"), QStringLiteral(u"<p>\uFFFD(</p>")}}
        << QStringList{"6:17 Input is not proper UTF-8, indicate encoding ! Bytes: 0xE9 0x3C 0x2F "
                       "0x74 in Caf\uFFFD/9",
                       "6:55 Input is not proper UTF-8, indicate encoding ! Bytes: 0xC3 0x28 0x3C "
                       "0x2F in Caf\uFFFD/9"};
    QTest::newRow("undeclared prefixes")
        << ExportFixture::channelWith({itemWithId("N", "<b>x</b>", "10")})
               .replace(" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"", "")
               .replace("<title>Fixture</title>", "<title>Fixture</title><atom:link/>")
               .toUtf8()
        << Items{{"N", "<b>x</b>"}}
        << QStringList{"5:33 Namespace prefix atom on link is not defined",
                       "6:39 Namespace prefix content on encoded is not defined in N/10"};
    QTest::newRow("fault after a long CDATA section on its line")
        << ExportFixture::channelWith({itemWithId("L", "<p>" + QString(10000, 'x') + "</p>", "5")
                                           .replace("</item>", "<foo:bar/></item>")})
               .toUtf8()
        << Items{{"L", "<p>" + QString(10000, 'x') + "</p>"}}
        << QStringList{"6:10111 Namespace prefix foo on bar is not defined in L/5"};
    QTest::newRow("fault after long CDATA texts held back, on their line")
        << ExportFixture::channelWith(
               {pastProlog, itemWithId("L", "<p>" + QString(10000, QChar(0xE9)) + "</p>", "5")
                                .replace("</item>", "<foo:bar/></item>")})
               .toUtf8()
        << Items{pastPrologItem, {"L", "<p>" + QString(10000, QChar(0xE9)) + "</p>"}}
        << QStringList{"7:20111 Namespace prefix foo on bar is not defined in L/5"};
    QTest::newRow("fault on the line of long CDATA texts, after their item")
        << ExportFixture::channelWith(
               {pastProlog,
                itemWithId("L", "<p>" + QString(10000, QChar(0xE9)) + "</p>", "5")
                    .replace("</item>", "</item>" + QString(200000, ' ') + "<foo:bar/>")})
               .toUtf8()
        << Items{pastPrologItem, {"L", "<p>" + QString(10000, QChar(0xE9)) + "</p>"}}
        << QStringList{"7:220118 Namespace prefix foo on bar is not defined"};
    {
        QStringList kept;
        for (int k = 0; k < 100; ++k)
            kept << QStringLiteral("6:%1 PCDATA invalid Char value 11 in T/7").arg(15 + k);
        QTest::newRow("faults of an item past those kept: counted in one")
            << ExportFixture::channelWith({itemWithId("T" + QString(150, '\x0B'), "b", "7")})
                   .toUtf8()
            << Items{{"T", "b"}}
            << kept + QStringList{"6:115 50 more faults in this item are not listed in T/7"};
    }
    QTest::newRow("white space before the declaration")
        << "\n  " + ExportFixture::channelWith({ExportFixture::item("W", "w")}).toUtf8()
        << Items{{"W", "w"}}
        << QStringList{"2:3 XML declaration allowed only at the start of the document"};
    QTest::newRow("PHP warning before the declaration")
        << "<br />\n<b>Warning</b>: fopen(x): failed\r\n" +
               ExportFixture::channelWith({ExportFixture::item("P", "p")}).toUtf8()
        << Items{{"P", "p"}}
        << QStringList{"1:1 2 lines before the XML declaration, starting \"<br />\""};
    QTest::newRow("byte-order mark against the declared encoding")
        << "\xEF\xBB\xBF" + ExportFixture::channelWith({ExportFixture::item("Caf\u00e9", "x")})
                                .replace("UTF-8", "ISO-8859-1")
                                .toUtf8()
        << Items{{"Caf\u00e9", "x"}}
        << QStringList{"1:31 The file starts with a UTF-8 byte-order mark but declares the "
                       "encoding ISO-8859-1: read as UTF-8"};
    QTest::newRow("byte-order mark against an encoding in single quotes, spaced out")
        << "\xEF\xBB\xBF" + ExportFixture::channelWith({ExportFixture::item("Caf\u00e9", "x")})
                                .replace("version=\"1.0\" encoding=\"UTF-8\"",
                                         "version='1.0' encoding = 'latin1' standalone='yes'")
                                .toUtf8()
        << Items{{"Caf\u00e9", "x"}}
        << QStringList{"1:33 The file starts with a UTF-8 byte-order mark but declares the "
                       "encoding latin1: read as UTF-8"};
    QTest::newRow("empty file") << QByteArray() << Items{} << QStringList{"0:0 The file is empty"};
    // A break in an item loses that item's structure only: it is read as WordPress's importer
    // reads it, and the items after it as usual.
    const QString importer = QStringLiteral("; the item is read as WordPress's importer reads it");
    const QString fine = itemWithId("A", "a", "1");
    QTest::newRow("mismatched tags in an item")
        << ExportFixture::channelWith(
               {fine, "<item><title>S</title><wp:post_id>11</wp:post_id></itm></item>", fine})
               .toUtf8()
        << Items{{"A", "a"}, {"S", ""}, {"A", "a"}}
        << QStringList{"7:56 Opening and ending tag mismatch: item line 7 and itm" + importer +
                       " in S/11"};
    QTest::newRow("CDATA section ended early by ]]> in the text")
        << ExportFixture::channelWith(
               {fine, itemWithId("Script", "<script>// <![CDATA[\nx();\n// ]]></script>", "5"),
                fine})
               .toUtf8()
        << Items{{"A", "a"}, {"Script", "<script>// <![CDATA[\nx();\n// ]]></script>"}, {"A", "a"}}
        << QStringList{"9:16 Opening and ending tag mismatch: encoded line 7 and script" +
                       importer + " in Script/5"};
    QTest::newRow("bare & and undefined entity in a title")
        << ExportFixture::channelWith(
               {itemWithId("Tom & Jerry &amp; &#233; &nbsp;", "t", "6"), fine})
               .toUtf8()
        << Items{{"Tom & Jerry & \u00e9 &nbsp;", "t"}, {"A", "a"}}
        << QStringList{"6:19 xmlParseEntityRef: no name" + importer +
                       " in Tom & Jerry & \u00e9 &nbsp;/6"};
    QTest::newRow("bare < in a title")
        << ExportFixture::channelWith({fine, itemWithId("1 < 2", "<b>x</b>", "7")}).toUtf8()
        << Items{{"A", "a"}, {"1 < 2", "<b>x</b>"}}
        << QStringList{"7:17 StartTag: invalid element name" + importer + " in 1 < 2/7"};
    QTest::newRow("cut element in an item")
        << ExportFixture::channelWith(
               {itemWithId("E", "e", "8").replace("</item>", "<wp:status>x</wp:sta</item>"), fine})
               .toUtf8()
        << Items{{"E", "e"}, {"A", "a"}}
        << QStringList{"6:117 expected '>'" + importer + " in E/8"};
    // The places of the faults after a break stay the file's own, on its lines and columns.
    const QString later = itemWithId("L", "l", "3").replace("</item>", "<foo:x/></item>");
    QTest::newRow("broken items in a row, all on one line")
        << ExportFixture::channelWith(
               {fine + itemWithId("T & J", "t", "6") + itemWithId("1 < 2", "u", "7") + later})
               .toUtf8()
        << Items{{"A", "a"}, {"T & J", "t"}, {"1 < 2", "u"}, {"L", "l"}}
        << QStringList{"6:120 xmlParseEntityRef: no name" + importer + " in T & J/6",
                       "6:227 StartTag: invalid element name" + importer + " in 1 < 2/7",
                       "6:420 Namespace prefix foo on x is not defined in L/3"};
    QTest::newRow("CR LF line ends around a broken item")
        << ExportFixture::channelWith({fine, itemWithId("T & J", "t", "6"), later})
               .replace("\n", "\r\n")
               .toUtf8()
        << Items{{"A", "a"}, {"T & J", "t"}, {"L", "l"}}
        << QStringList{"7:17 xmlParseEntityRef: no name" + importer + " in T & J/6",
                       "8:103 Namespace prefix foo on x is not defined in L/3"};
    // The importer's reading of a broken item, field by field.
    QTest::newRow("broken item: CDATA sections joined where the text escapes ]]>")
        << ExportFixture::channelWith(
               {itemWithId("J & K", "a]]]]><![CDATA[>b]]]]><![CDATA[>", "12")})
               .toUtf8()
        << Items{{"J & K", "a]]>b]]>"}}
        << QStringList{"6:17 xmlParseEntityRef: no name" + importer + " in J & K/12"};
    QTest::newRow("broken item: references decoded outside CDATA, once, a bare & kept")
        << ExportFixture::channelWith(
               {"<item><title> R &amp; &#x41;&#66; &#0; & x </title><content:encoded>&lt;p&gt;"
                "&#x263A; &amp;amp; &copy; &#xD800; &</content:encoded><wp:post_id>13</wp:post_id>"
                "</item>",
                fine})
               .toUtf8()
        << Items{{" R & AB &#0; & x ", "<p>\u263a &amp; &copy; &#xD800; &"}, {"A", "a"}}
        << QStringList{"6:39 xmlParseCharRef: invalid xmlChar value 0" + importer +
                       " in  R & AB &#0; & x /13"};
    QTest::newRow("broken item: the first title, the first body up to the next end tag")
        << ExportFixture::channelWith(
               {"<item><title>One &</title><title>Two</title><content:encoded>x<b>y</b>"
                "</content:encoded><content:encoded>z</content:encoded><wp:post_id>14</wp:post_id>"
                "</item>"})
               .toUtf8()
        << Items{{"One &", "x<b>y</b>"}}
        << QStringList{"6:19 xmlParseEntityRef: no name" + importer + " in One &/14"};
    QTest::newRow("broken item without title or body")
        << ExportFixture::channelWith(
               {fine, "<item><wp:post_id>15</wp:post_id><wp:status>a & b</wp:status></item>", fine})
               .toUtf8()
        << Items{{"A", "a"}, {"", ""}, {"A", "a"}}
        << QStringList{"7:48 xmlParseEntityRef: no name" + importer + " in /15"};
    // The shape of the recovery: where the broken items lie, and what follows them.
    QTest::newRow("two broken items on their own lines")
        << ExportFixture::channelWith(
               {fine, itemWithId("M", "m", "16").replace("</item>", "</itm></item>"),
                itemWithId("S", "<script>// ]]></script>", "17"), later})
               .toUtf8()
        << Items{{"A", "a"}, {"M", "m"}, {"S", "<script>// ]]></script>"}, {"L", "l"}}
        << QStringList{"7:104 Opening and ending tag mismatch: item line 7 and itm" + importer +
                           " in M/16",
                       "8:72 Opening and ending tag mismatch: encoded line 8 and script" +
                           importer + " in S/17",
                       "9:103 Namespace prefix foo on x is not defined in L/3"};
    QTest::newRow("last item broken just before the end of the channel")
        << ExportFixture::channelWith({fine, fine, itemWithId("Z", "<p>]]></p>", "18")}).toUtf8()
        << Items{{"A", "a"}, {"A", "a"}, {"Z", "<p>]]></p>"}}
        << QStringList{"8:59 Opening and ending tag mismatch: encoded line 8 and p" + importer +
                       " in Z/18"};
    QTest::newRow("broken item, then a cut in the channel")
        << ExportFixture::channelWith({fine, itemWithId("T & J", "t", "19")}).toUtf8().chopped(12)
        << Items{{"A", "a"}, {"T & J", "t"}}
        << QStringList{"7:17 xmlParseEntityRef: no name" + importer + " in T & J/19",
                       "8:7 the export ends inside the channel; the 2 items before it were read"};
    QTest::newRow("CR LF line ends: broken items in a row, the body's line ends as LF")
        << ExportFixture::channelWith({itemWithId("T & J", "1\n2", "20"),
                                       itemWithId("1 < 2", "<p>]]>\n</p>", "21"), later})
               .replace("\n", "\r\n")
               .toUtf8()
        << Items{{"T & J", "1\n2"}, {"1 < 2", "<p>]]>\n</p>"}, {"L", "l"}}
        << QStringList{"6:17 xmlParseEntityRef: no name" + importer + " in T & J/20",
                       "8:17 StartTag: invalid element name" + importer + " in 1 < 2/21",
                       "10:103 Namespace prefix foo on x is not defined in L/3"};
    QTest::newRow("PHP warning before the declaration, then a broken item")
        << "<b>Warning</b>: x\n" +
               ExportFixture::channelWith({fine, itemWithId("T & J", "t", "23"), later}).toUtf8()
        << Items{{"A", "a"}, {"T & J", "t"}, {"L", "l"}}
        << QStringList{"1:1 1 line before the XML declaration, starting \"<b>Warning</b>: x\"",
                       "8:17 xmlParseEntityRef: no name" + importer + " in T & J/23",
                       "9:103 Namespace prefix foo on x is not defined in L/3"};
    QTest::newRow("break on a later line of the body, broken items before a cut")
        << ExportFixture::channelWith({itemWithId("B", "<p>1</p>\n<p>2</p>\n// ]]><p>3</p>", "24"),
                                       itemWithId("C & D", "c", "25"), fine})
               .toUtf8()
               .chopped(12)
        << Items{{"B", "<p>1</p>\n<p>2</p>\n// ]]><p>3</p>"}, {"C & D", "c"}, {"A", "a"}}
        << QStringList{"8:15 Sequence ']]>' not allowed in content" + importer + " in B/24",
                       "9:17 xmlParseEntityRef: no name" + importer + " in C & D/25",
                       "11:7 the export ends inside the channel; the 3 items before it were read"};
    QTest::newRow("bytes that are not UTF-8 in a broken item")
        << ExportFixture::channelWith({itemWithId("Caf@ & Co", "<p>#(</p>", "26"), fine})
               .toUtf8()
               .replace('@', '\xE9')
               .replace('#', '\xC3')
        << Items{{QStringLiteral(u"Caf\uFFFD & Co"), QStringLiteral(u"<p>\uFFFD(</p>")}, {"A", "a"}}
        << QStringList{"6:17 Input is not proper UTF-8, indicate encoding ! Bytes: 0xE9 0x20 0x26 "
                       "0x20 in Caf\uFFFD & Co/26",
                       "6:20 xmlParseEntityRef: no name" + importer + " in Caf\uFFFD & Co/26",
                       "6:60 Input is not proper UTF-8, indicate encoding ! Bytes: 0xC3 0x28 0x3C "
                       "0x2F in Caf\uFFFD & Co/26"};
    QTest::newRow("bare & in a comment of an item")
        << ExportFixture::channelWith(
               {itemWithId("K", "k", "27")
                    .replace("</item>", "<wp:comment><wp:comment_content>a & b</wp:comment_content>"
                                        "</wp:comment></item>"),
                fine})
               .toUtf8()
        << Items{{"K", "k"}, {"A", "a"}}
        << QStringList{"6:133 xmlParseEntityRef: no name" + importer + " in K/27"};
    QTest::newRow("break between the items: unusable as before")
        << ExportFixture::channelWith({fine, "<wp:tag>a & b</wp:tag>", fine}).toUtf8() << Items{}
        << QStringList{"7:12 xmlParseEntityRef: no name"};
    QTest::newRow("text after the end of the document")
        << ExportFixture::channelWith({fine}).toUtf8() + "<br />\n<b>Warning</b>: x\n\n"
        << Items{{"A", "a"}}
        << QStringList{"9:1 2 lines after the end of the document, starting \"<br />\""};
    QTest::newRow("one line after blank ones, at the end of the file")
        << ExportFixture::channelWith({fine}).toUtf8() + " \n\n  Warning: x" << Items{{"A", "a"}}
        << QStringList{"11:3 1 line after the end of the document, starting \"Warning: x\""};
    QTest::newRow("cut in an item")
        << ExportFixture::channelWith({fine, itemWithId("Cut", "<p>x</p>", "2")})
               .toUtf8()
               .chopped(24)
        << Items{{"A", "a"}}
        << QStringList{
               "7:108 the export ends inside item \"Cut\" (post ID 2); the 1 item before it "
               "was read in Cut/2"};
    // libxml2 stands where it last passed on a piece of the section: the file ends further on.
    QTest::newRow("cut in a long CDATA section")
        <<
        [&] {
            const QByteArray whole =
                ExportFixture::channelWith(
                    {pastProlog, fine,
                     itemWithId("Cut", "<p>" + QString(3000, QChar(0xE9)) + "</p>", "2")})
                    .toUtf8();
            return whole.left(whole.indexOf("<p>\xC3\xA9") + 3 + 2000);
        }()
        << Items{pastPrologItem, {"A", "a"}}
        << QStringList{
               "8:1054 the export ends inside item \"Cut\"; the 2 items before it were read in "
               "Cut/"};
    QTest::newRow("cut in the channel after complete items")
        << ExportFixture::channelWith({fine, fine}).toUtf8().chopped(12)
        << Items{{"A", "a"}, {"A", "a"}}
        << QStringList{"8:7 the export ends inside the channel; the 2 items before it were read"};
    QTest::newRow("cut in the first item")
        << ExportFixture::channelWith({fine}).toUtf8().chopped(40) << Items{}
        << QStringList{
               "6:83 the export ends inside item \"A\"; the 0 items before it were read in A/"};
}

void ExportReaderTest::exportFaults()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Items, expected);
    QFETCH(QStringList, faults);
    ExportFixture fixture;
    Items items;
    const ExportReadResult result = readExport(fixture.write(bytes), [&](ExportItem&& item) {
        items.append({item.title, QString::fromUtf8(item.bodyUtf8)});
    });
    QStringList found;
    for (const ExportFault& fault : result.faults)
        found << described(fault);
    if (!result.usable)
        found = QStringList{described(result.problem)};
    QCOMPARE(found, faults);
    QCOMPARE(result.usable, !expected.isEmpty());
    if (result.usable)
        QCOMPARE(items, expected);
}

// A broken export gives the tables that the same export mended by hand gives: the broken item's
// own rows and those of every item after it.
void ExportReaderTest::mendedByHand_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("mended");

    const QString after = itemWithId("After", "<a href=\"x\">y</a><p>z<b></p>", "9");
    const auto row = [&](const char* name, const QString& broken, const QString& mended) {
        QTest::newRow(name) << ExportFixture::channelWith({broken, after})
                            << ExportFixture::channelWith({mended, after});
    };
    row("CDATA section ended early",
        itemWithId("S", "<script>// <![CDATA[\nx();\n// ]]></script><a href=\"s\">t</a>", "1"),
        itemWithId("S",
                   "<script>// <![CDATA[\nx();\n// ]]]]><![CDATA[></script><a href=\"s\">t</a>",
                   "1"));
    row("bare & in a title", itemWithId("Tom & Jerry", "<p>x</p>", "2"),
        itemWithId("Tom &amp; Jerry", "<p>x</p>", "2"));
    row("bare < in a title", itemWithId("1 < 2", "<p>x", "3"), itemWithId("1 &lt; 2", "<p>x", "3"));
    row("mismatched tags", itemWithId("M", "<i>m</i>", "4").replace("</item>", "</itm></item>"),
        itemWithId("M", "<i>m</i>", "4"));
    row("references outside CDATA, a bare & kept",
        "<item><title>R &amp; &#x41;</title><content:encoded>&lt;a href=\"r\"&gt;&#x263A; & "
        "b&lt;/a&gt;</content:encoded><wp:post_id>5</wp:post_id></item>",
        "<item><title>R &amp; A</title><content:encoded>&lt;a href=\"r\"&gt;\u263a &amp; "
        "b&lt;/a&gt;</content:encoded><wp:post_id>5</wp:post_id></item>");
    row("two broken items in a row",
        itemWithId("T & J", "<a href=\"t\">u</a>", "6") + '\n' +
            itemWithId("V", "<script>// ]]></script><img src=\"v.png\">", "7"),
        itemWithId("T &amp; J", "<a href=\"t\">u</a>", "6") + '\n' +
            itemWithId("V", "<script>// ]]]]><![CDATA[></script><img src=\"v.png\">", "7"));
    QTest::newRow("last item broken, CR LF line ends")
        << ExportFixture::channelWith({after, itemWithId("Z", "<p>]]>\n<a href=\"z\">z</a>", "8")})
               .replace("\n", "\r\n")
        << ExportFixture::channelWith(
               {after, itemWithId("Z", "<p>]]]]><![CDATA[>\n<a href=\"z\">z</a>", "8")});
    const QString full = QStringLiteral(
        "<item><title>%1</title><link>https://blog.example/f/</link><guid isPermaLink=\"false\">"
        "https://blog.example/?p=10</guid><content:encoded><![CDATA[<a href=\"/g/\">g</a><img "
        "src=\"https://blog.example/i.png\">]]></content:encoded><wp:post_id>10</wp:post_id>"
        "<wp:post_name><![CDATA[f]]></wp:post_name><wp:status>draft</wp:status>"
        "<wp:post_type>page</wp:post_type></item>");
    row("every field of a broken item", full.arg("F & G"), full.arg("F &amp; G"));
    QTest::newRow("text after the end")
        << ExportFixture::channelWith({after}) + "<b>Notice</b>: x\n"
        << ExportFixture::channelWith({after});
    QTest::newRow("cut in an item")
        << ExportFixture::channelWith({after, itemWithId("Cut", "c", "5")}).chopped(40)
        << ExportFixture::channelWith({after});
}

void ExportReaderTest::mendedByHand()
{
    QFETCH(QString, broken);
    QFETCH(QString, mended);
    ExportFixture fixture;
    const auto cellsOf = [&](const QString& document, const QString& name) {
        ResultTables tables;
        const AnalysisOutcome outcome = runAnalysis(fixture.write(document, name), tables, {});
        QStringList cells{QString::number(outcome.itemCount)};
        for (const ResultTable* table : {&tables.errorTable, &tables.linkTable})
            for (int row = 0; row < table->rowCount(); ++row)
                for (int column = 0; column < table->columnCount(); ++column)
                    cells << table->cell(column, row);
        return cells;
    };
    const QStringList mendedCells = cellsOf(mended, QStringLiteral("mended.xml"));
    QVERIFY(mendedCells.first() != QLatin1String("0"));
    QCOMPARE(cellsOf(broken, QStringLiteral("broken.xml")), mendedCells);
}

// The export arrives in reads of any length: a character, an invalid sequence or a CR LF cut
// between two reads is repaired the same.
void ExportReaderTest::repairDoesNotDependOnReads()
{
    const QByteArray bytes =
        " \r\n<?xml version=\"1.0\"?>\r<a>\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\x01\r"
        "\n\xEF\xBF\xBE\xF4\x8F\xBC\x81\xED\xA0\x80\x10\r</a>";
    const auto repaired = [&](qsizetype readLength) {
        exportrepair::ByteRepair repair;
        QByteArray output;
        for (qsizetype at = 0; at < bytes.size(); at += readLength)
            repair.feed(bytes.constData() + at, std::min(readLength, bytes.size() - at), output);
        repair.finish(output);
        QStringList faults;
        for (qint64 k = 0; k < repair.faultCount(); ++k)
            faults << described(repair.fault(k));
        return std::make_pair(exportrepair::restoreBody(output), faults);
    };
    const auto whole = repaired(bytes.size());
    QCOMPARE(whole.first,
             QByteArray("<?xml version=\"1.0\"?>\n<a>\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD"
                        "\x01\n\xEF\xBF\xBE\xF4\x8F\xBC\x81\xEF\xBF\xBD\xEF\xBF\xBD"
                        "\xEF\xBF\xBD\x10\n</a>"));
    QCOMPARE(whole.second.size(), 8);
    for (const qsizetype readLength : {1, 2, 3, 5, 7})
        QCOMPARE(repaired(readLength), whole);
}

// What the audit reads of each item and of the channel, which comes before the first item.
void ExportReaderTest::siteFields()
{
    QString document = ExportFixture::channelWith(
        {"<item><title>a</title><link>https://blog.example/a/</link><guid "
         "isPermaLink=\"false\">http://old.example/?p=7</guid><wp:post_id>7</wp:post_id>"
         "<wp:post_name><![CDATA[a]]></wp:post_name><wp:status>publish</wp:status>"
         "<wp:post_type>post</wp:post_type><wp:postmeta><wp:meta_key>_edit_last</wp:meta_key>"
         "<wp:meta_value>1</wp:meta_value></wp:postmeta><wp:postmeta><wp:meta_key><![CDATA["
         "_thumbnail_id]]></wp:meta_key><wp:meta_value>9</wp:meta_value></wp:postmeta></item>",
         "<item><wp:post_type>attachment</wp:post_type><wp:attachment_url> "
         "https://cdn.example/i.png </wp:attachment_url></item>"});
    document.replace("<title>Fixture</title>",
                     "<title>Fixture</title><link>https://blog.example</link>"
                     "<wp:base_blog_url>http://blog.example</wp:base_blog_url>");
    ExportFixture fixture;
    QList<ExportItem> items;
    QStringList calls;
    const ExportReadResult result = readExport(
        fixture.write(document),
        [&](ExportItem&& item) {
            items.append(item);
            calls << "item";
        },
        [&](const ExportChannel& channel) { calls << channel.link + " " + channel.baseBlogUrl; });
    QVERIFY(result.usable);
    QCOMPARE(calls, (QStringList{"https://blog.example http://blog.example", "item", "item"}));
    QCOMPARE(result.channel.link, QStringLiteral("https://blog.example"));
    QCOMPARE(items.size(), 2);
    const QStringList first{items[0].permalink,   items[0].guid,         items[0].postId,
                            items[0].postName,    items[0].status,       items[0].postType,
                            items[0].thumbnailId, items[0].attachmentUrl};
    QCOMPARE(first, (QStringList{"https://blog.example/a/", "http://old.example/?p=7", "7", "a",
                                 "publish", "post", "9", ""}));
    QCOMPARE(items[1].postType, QStringLiteral("attachment"));
    QCOMPARE(items[1].attachmentUrl, QStringLiteral("https://cdn.example/i.png"));
    QVERIFY(items[1].thumbnailId.isEmpty());
}

QTEST_GUILESS_MAIN(ExportReaderTest)
#include "tst_exportreader.moc"
