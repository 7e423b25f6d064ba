#include "exportfixture.h"

#include "analysis/bodylocator.h"
#include "analysis/bodyposition.h"
#include "analysis/bytecount.h"
#include "analysis/exportreader.h"
#include "analysis/postcheck.h"
#include "analysis/textpositions.h"

#include <QRandomGenerator>
#include <QTest>

// Where a post's fault lies in the export file itself, however its body is stored there.
class ExportPositionsTest : public QObject
{
    Q_OBJECT

private slots:
    void faultInExport_data();
    void faultInExport();
    void countBytes_data();
    void countBytes();
    void textPositions();

private:
    ExportFixture fixture_;
};

namespace {

// The 1-based line and column of the character `after` characters past the first needle.
QPair<qint64, qint64> placeOf(const QString& text, const QString& needle, int after)
{
    const qsizetype at = text.indexOf(needle) + after;
    qint64 line = 1;
    qint64 column = 1;
    for (qsizetype i = 0; i < at; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') && i > 0 && text.at(i - 1) == QLatin1Char('\r'))
            continue;
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            ++line;
            column = 1;
        } else if (!c.isLowSurrogate()) {
            ++column;
        }
    }
    return {line, column};
}

QString exportWith(const QString& item)
{
    return ExportFixture::channelWith({QStringLiteral("<item><title>Before</title>"
                                                      "<content:encoded>fine</content:encoded>"
                                                      "</item>"),
                                       item});
}

} // namespace

void ExportPositionsTest::faultInExport_data()
{
    QTest::addColumn<QString>("exportText");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("after");

    // libxml2 places an undefined entity right after its ';'.
    QTest::newRow("one CDATA section")
        << exportWith(QStringLiteral("<item><title>T</title><content:encoded><![CDATA[<p>2&nbsp;€</"
                                     "p>]]></content:encoded>"
                                     "</item>"))
        << "nbsp;" << 5;
    QTest::newRow("body not on the item's first line")
        << exportWith(QStringLiteral("<item>\n  <title>Déjà vu 😀</title>\n  <link>x</link>\n"
                                     "  <content:encoded><![CDATA[ok\nsecond 😀 line &nbsp;]]>"
                                     "</content:encoded>\n</item>"))
        << "nbsp;" << 5;
    QTest::newRow("CDATA section on a line of its own")
        << exportWith(QStringLiteral("<item>\n  <content:encoded>\n    <![CDATA[<p>2&nbsp;</p>]]>"
                                     "\n  </content:encoded>\n</item>"))
        << "nbsp;" << 5;
    QTest::newRow("several CDATA sections")
        << exportWith(QStringLiteral(
               "<item><content:encoded><![CDATA[<p>one]]><![CDATA[ two]]>&gt;<![CDATA[ "
               "&bad;</p>]]></content:encoded></item>"))
        << "bad;" << 4;
    QTest::newRow("escaped text") << exportWith(QStringLiteral(
                                         "<item><content:encoded>&lt;p&gt;caf&#233; &amp;amp; "
                                         "&#x1F600; &amp;nbsp;&lt;/p&gt;</content:encoded></item>"))
                                  << "nbsp;" << 5;
    QTest::newRow("escaped text with a carriage return")
        << exportWith(QStringLiteral("<item><content:encoded>a&#13;b&#13;\nc &amp;nbsp;"
                                     "</content:encoded></item>"))
        << "nbsp;" << 5;
    QTest::newRow("comment inside the body element")
        << exportWith(QStringLiteral("<item><content:encoded><!-- note -->&lt;b&gt;x&amp;y"
                                     "</content:encoded></item>"))
        << "&amp;y" << 6;
    QTest::newRow("instruction and element inside the body element, '>' in a quoted value")
        << exportWith(QStringLiteral("<item><content:encoded><?pi x?>&lt;b&gt;<em title=\"a>b\">x"
                                     "</em>&amp;y</content:encoded></item>"))
        << "&amp;y" << 6;
    QTest::newRow("item fields with quoted brackets and slashes, empty tags, long names")
        << exportWith(QStringLiteral(
               "<item><category domain=\"a/b>c\" nicename='x/'><![CDATA[News]]></category >"
               "<wp:postmeta><wp:meta_key_of_a_name_longer_than_any_looked_for/><wp:meta_value>"
               "<![CDATA[v]]></wp:meta_value></wp:postmeta><content:encoded><![CDATA[<p>2&nbsp;"
               "</p>]]></content:encoded></item>"))
        << "nbsp;" << 5;
    QTest::newRow("CR LF line ends")
        << exportWith(QStringLiteral("<item>\r\n<content:encoded><![CDATA[a\r\nb\r\nc &nbsp;]]>"
                                     "</content:encoded>\r\n</item>\r\n"))
        << "nbsp;" << 5;
    QTest::newRow("long CDATA section, read in pieces")
        << exportWith(QStringLiteral("<item><content:encoded><![CDATA[%1\n%1 &nbsp;]]>"
                                     "</content:encoded></item>")
                          .arg(QString(20000, QLatin1Char('>'))))
        << "nbsp;" << 5;
    QTest::newRow("body longer than the bytes the scan holds")
        << exportWith(QStringLiteral("<item><content:encoded><![CDATA[%1 &nbsp;]]>"
                                     "</content:encoded></item>")
                          .arg(QString(300000, QLatin1Char('x'))))
        << "nbsp;" << 5;
    QTest::newRow("element left open: the end of the body")
        << exportWith(QStringLiteral(
               "<item><content:encoded><![CDATA[<p>open\n]]></content:encoded></item>"))
        << "]]></content" << 0;
    // U+E000, U+E001 and U+E002 stand for bytes that are not UTF-8 (see faultInExport()).
    QTest::newRow("bytes that are not UTF-8 in a CDATA section")
        << exportWith(QStringLiteral("<item><content:encoded><![CDATA[<p>caf\uE000 \uE001 "
                                     "\uE002x\n\uE001 &nbsp;</p>]]></content:encoded></item>"))
        << "nbsp;" << 5;
    QTest::newRow("bytes that are not UTF-8 in escaped text")
        << exportWith(QStringLiteral("<item><content:encoded>&lt;p&gt;caf\uE000 \uE001 "
                                     "&amp;nbsp;</content:encoded></item>"))
        << "nbsp;" << 5;
    QTest::newRow("after a post whose ']]>' ended its CDATA section early")
        << exportWith(QStringLiteral(
               "<item><title>Script</title><content:encoded><![CDATA[<script>// <![CDATA[\nx();"
               "\n// ]]></script><p>a</p>]]></content:encoded></item>\n"
               "<item><content:encoded><![CDATA[<p>2&nbsp;</p>]]></content:encoded></item>"))
        << "nbsp;" << 5;
}

void ExportPositionsTest::faultInExport()
{
    QFETCH(QString, exportText);
    QFETCH(QString, needle);
    QFETCH(int, after);
    // Each stands for one column of bytes that are not UTF-8, which the reader mends to U+FFFD:
    // a lead byte alone, the first two bytes of U+FFFD itself, a byte no UTF-8 has.
    const QByteArray bytes = exportText.toUtf8()
                                 .replace("\xEE\x80\x80", "\xC3")
                                 .replace("\xEE\x80\x81", "\xEF\xBF")
                                 .replace("\xEE\x80\x82", "\xFF");
    const QString path = fixture_.write(bytes, QString::fromLatin1(QTest::currentDataTag()));

    std::vector<ExportItem> items;
    const ExportReadResult read =
        readExport(path, [&](ExportItem&& item) { items.push_back(std::move(item)); });
    QVERIFY(read.usable);
    QVERIFY(items.size() >= 2);
    const ExportItem& faulty = items.back();
    const PostReport report = checkPostBody(faulty.bodyUtf8, QStringLiteral("dummy"));
    QVERIFY(report.errorCode != 0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    BodyStartReader bodyStarts(file);
    for (size_t i = 1; i < items.size(); ++i)
        bodyStarts.next();
    const ExportPosition bodyStart = bodyStarts.next();
    const auto [line, column] = placeOf(exportText, needle, after);
    // Found from the bytes the body-start scan still holds, and from the file alone.
    for (const QByteArrayView held : {bodyStarts.heldFrom(bodyStart.offset), QByteArrayView()}) {
        const ExportPosition place =
            locateInExport(file, bodyStart, faulty.bodyUtf8, report.bodyOffset, held);
        QCOMPARE(place.line, line);
        QCOMPARE(place.column, column);
        // Characters asked for by the body's own lines and columns, in order and then back at
        // the start, are where locateInExport() finds them.
        const QByteArray& body = faulty.bodyUtf8;
        BodyPlaces places(file, bodyStart, body, held);
        std::vector<qint64> offsets;
        for (qint64 offset = 0; offset < body.size(); offset += qMax<qint64>(1, body.size() / 64))
            offsets.push_back(offset);
        offsets.push_back(0);
        for (const qint64 offset : offsets) {
            // Within a character, or the LF of a CR LF, which ends the line with the CR.
            if ((static_cast<unsigned char>(body[offset]) & 0xC0) == 0x80 ||
                (offset > 0 && body[offset] == '\n' && body[offset - 1] == '\r'))
                continue;
            LineCounter counter;
            counter.advance(body.constData(), offset);
            const ExportPosition expected = locateInExport(file, bodyStart, body, offset, held);
            QCOMPARE(places.at(counter.position().line, counter.position().column),
                     std::pair(expected.line, expected.column));
        }
    }
}

void ExportPositionsTest::countBytes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("count");
    QTest::newRow("LFs at the edges of words")
        << QByteArray("\n234567\n\n\n") << 0xFF << int('\n') << 4;
    QTest::newRow("bytes above 0x7F are no LF")
        << QByteArray("\x8A\x0A\xFF\x0B\x09\x8A\x8A\x8A\x0A") << 0xFF << int('\n') << 2;
    QTest::newRow("UTF-8 continuation bytes")
        << QStringLiteral(u"a\u00e9\u20ac\U0001F600 longer than a word").toUtf8() << 0xC0 << 0x80
        << 6;
    QTest::newRow("none") << QByteArray(100, 'x') << 0xFF << int('=') << 0;
    // Past what a byte's counter holds before it is summed.
    QTest::newRow("every byte, many blocks")
        << QByteArray(16 * 300 + 9, '\n') << 0xFF << int('\n') << 16 * 300 + 9;
}

void ExportPositionsTest::countBytes()
{
    QFETCH(QByteArray, data);
    QFETCH(int, mask);
    QFETCH(int, value);
    QFETCH(int, count);
    QCOMPARE(::countBytes(data.constData(), data.size(), static_cast<unsigned char>(mask),
                          static_cast<unsigned char>(value)),
             qint64(count));
}

// A fault's column counts characters, one or two UTF-16 units each, whatever bytes they take:
// runs of plain text taken eight bytes at a time count as one by one.
void ExportPositionsTest::textPositions()
{
    QRandomGenerator random(7);
    const char32_t others[] = {U'\u00e9', U'\u20ac', U'\U0001F600', U'\n'};
    const auto utf8Of = [](const std::u32string& text) {
        return QString::fromUcs4(text.data(), qsizetype(text.size())).toUtf8();
    };
    for (int round = 0; round < 400; ++round) {
        std::u32string text;
        const int length = int(random.bounded(90));
        for (int i = 0; i < length; ++i)
            text += random.bounded(6) == 0 ? others[random.bounded(4)]
                                           : char32_t('a' + random.bounded(26));
        std::vector<std::u32string> lines(1);
        for (const char32_t c : text) {
            if (c == U'\n')
                lines.emplace_back();
            else
                lines.back().push_back(c);
        }
        const int line = 1 + int(random.bounded(quint32(lines.size())));
        const int column = 1 + int(random.bounded(quint32(length + 12)));
        const std::u32string& chars = lines[size_t(line - 1)];
        const std::u32string taken = chars.substr(0, size_t(column - 1));
        qsizetype before = 0;
        for (int i = 0; i < line - 1; ++i)
            before += utf8Of(lines[size_t(i)]).size() + 1;
        const QByteArray utf8 = utf8Of(text);
        QCOMPARE(textpositions::byteOffset(utf8, line, column), before + utf8Of(taken).size());
        const qsizetype units = QString::fromUcs4(taken.data(), qsizetype(taken.size())).size();
        QCOMPARE(textpositions::utf16Position(utf8Of(chars), column),
                 int(units) + (column - 1 - int(taken.size())) + 1);
    }
}

QTEST_GUILESS_MAIN(ExportPositionsTest)
#include "tst_exportpositions.moc"
