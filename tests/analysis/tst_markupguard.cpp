#include "analysis/markupguard.h"
#include "analysis/markuplexer.h"
#include "analysis/prologreader.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtTest>

namespace {

QByteArray attributes(int count, const char* quote = "'")
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += " a" + QByteArray::number(i) + "=" + quote + quote;
    return text;
}

const QByteArray marker = "]]><!----><![CDATA[";

QByteArray guardInChunks(const QByteArray& input, qsizetype chunk, bool* passed = nullptr)
{
    markupguard::ByteStreamGuard guard;
    QByteArray output;
    bool ok = true;
    for (qsizetype at = 0; at < input.size() && ok; at += chunk)
        ok = guard.feed(input.constData() + at, std::min(chunk, input.size() - at), output);
    if (passed != nullptr)
        *passed = ok;
    return output;
}

// The lexer's events over the text fed in pieces of chunk bytes: "+Kind" where a construct is
// known, "Kind:name" (tags) or "Kind" where it ends, "!" for a '<' that begins nothing.
QString lexerEvents(const QByteArray& text, qsizetype chunk)
{
    static const char* const kinds[] = {"StartTag", "EmptyElementTag", "EndTag",  "Comment",
                                        "CData",    "Instruction",     "Doctype", "Declaration"};
    MarkupLexer lexer;
    QStringList events;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype end = std::min(text.size(), (at / chunk + 1) * chunk);
        at += lexer.scan(text.constData() + at, end - at);
        const QString kind = QString::fromLatin1(kinds[int(lexer.construct())]);
        if (lexer.event() == MarkupLexer::Event::Begun)
            events << "+" + kind;
        else if (lexer.event() == MarkupLexer::Event::Abandoned)
            events << QStringLiteral("!");
        else if (lexer.event() == MarkupLexer::Event::Ended)
            events << (kind.endsWith(QLatin1String("Tag"))
                           ? kind + ":" + QString::fromStdString(lexer.name())
                           : kind);
    }
    return events.join(' ');
}

} // namespace

class MarkupGuardTest : public QObject
{
    Q_OBJECT

private slots:
    void violation_data();
    void violation();
    void longCDataIsSplitSafely_data();
    void longCDataIsSplitSafely();
    void oversizedMarkupStopsTheStream();
    void declaredEncoding_data();
    void declaredEncoding();
    void lexer_data();
    void lexer();
    void declaration_data();
    void declaration();
};

void MarkupGuardTest::lexer_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("events");
    QTest::newRow("tags, '>' in a quoted value")
        << QByteArray("<a href=\"x>y\" t='/'><br/></a >")
        << "+StartTag StartTag:a +StartTag EmptyElementTag:br +EndTag EndTag:a";
    QTest::newRow("instruction, comment, CDATA")
        << QByteArray("<?pi a?><!-- -> --><![CDATA[ ]] ]]]>")
        << "+Instruction Instruction +Comment Comment +CData CData";
    QTest::newRow("DOCTYPE whose subset holds ']', quotes and '>'")
        << QByteArray("<!DOCTYPE r [<!-- ] ' --><!ENTITY e \"]>\"><?p ]?>]><r/>")
        << "+Doctype Doctype +StartTag EmptyElementTag:r";
    QTest::newRow("'<' that begins nothing, tags cut short")
        << QByteArray("a < b<c</d<e>")
        << "! +StartTag EmptyElementTag:c +EndTag EndTag:d "
           "+StartTag StartTag:e";
    QTest::newRow("other declarations")
        << QByteArray("<!ELEMENT x '>'><!>") << "+Declaration Declaration Declaration";
    const QByteArray name(40, 'n');
    QTest::newRow("names cut after the limit, a slash before a space")
        << QByteArray("<" + name + " x='1'></" + name + " junk><b/ ><i/>")
        << "+StartTag StartTag:" + QString(33, u'n') + " +EndTag EndTag:" + QString(33, u'n') +
               " +StartTag StartTag:b +StartTag EmptyElementTag:i";
}

void MarkupGuardTest::lexer()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, events);
    for (const qsizetype chunk : {text.size(), qsizetype(1), qsizetype(3)})
        QCOMPARE(lexerEvents(text, chunk), events);
}

void MarkupGuardTest::declaration_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("read"); // version, encoding, standalone, the end; the encoding's
                                       // value and the whole attribute as offsets
    QTest::newRow("double quotes") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss/>")
                                   << "1.0 UTF-8  38 30 20-36";
    QTest::newRow("single quotes, spaced out, standalone")
        << QByteArray("<?xml version = '1.0' encoding = 'latin1' standalone='yes' ?>")
        << "1.0 latin1 yes 61 34 22-41";
    QTest::newRow("not ended yet") << QByteArray("<?xml version=\"1.0\" encoding=\"x\"") << "";
    // libxml2 refuses the declaration; what follows its fault is not read.
    QTest::newRow("unquoted version")
        << QByteArray("<?xml version=1.0 encoding='x'?>") << "   32 -1 -1--1";
}

void MarkupGuardTest::declaration()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, read);
    const std::optional<prolog::Declaration> declaration = prolog::readDeclaration(text);
    QString found;
    if (declaration) {
        const prolog::Attribute& encoding = declaration->encoding;
        found = QStringLiteral("%1 %2 %3 %4 %5 %6-%7")
                    .arg(QString::fromLatin1(declaration->version.value),
                         QString::fromLatin1(encoding.value),
                         QString::fromLatin1(declaration->standalone.value))
                    .arg(declaration->end)
                    .arg(encoding.valueStart)
                    .arg(encoding.start)
                    .arg(encoding.end);
    }
    QCOMPARE(found, read);
}

void MarkupGuardTest::violation_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset"); // -1: none
    QTest::addColumn<QString>("reasonPart");

    const int limit = markupguard::attributeLimit;
    QTest::newRow("usual element") << QByteArray("<p a='1' b=\"2\">x</p>") << -1 << QString();
    QTest::newRow("at the limit") << "<p" + attributes(limit) + "/>" << -1 << QString();
    QTest::newRow("over the limit")
        << "x <p" + attributes(limit + 1) + "/>" << 2 << QStringLiteral("attributes");
    QTest::newRow("'=' inside values does not count")
        << "<p title='" + QByteArray(1000, '=') + "' alt=\"" + QByteArray(1000, '=') + "\"/>" << -1
        << QString();
    QTest::newRow("in a CDATA section")
        << "<![CDATA[<p" + attributes(limit + 1) + "/>]]>" << -1 << QString();
    QTest::newRow("in a comment") << "<!-- -- <p" + attributes(limit + 1) + "/>-->" << -1
                                  << QString();
    QTest::newRow("in a processing instruction")
        << "<?pi <p" + attributes(limit + 1) + "/>?>" << -1 << QString();
    QTest::newRow("after a CDATA section") << "<![CDATA[ ]] > ]]><p" + attributes(limit + 1) + "/>"
                                           << 18 << QStringLiteral("attributes");
    QTest::newRow("after a CDATA section ending in ']]]>'")
        << "<![CDATA[a]]]><p" + attributes(limit + 1) + "/>" << 14 << QStringLiteral("attributes");
    QTest::newRow("'<' that starts no tag") << "a < b " + QByteArray(1000, '=') << -1 << QString();
    QTest::newRow("parameter entity declared")
        << QByteArray("<!DOCTYPE r [<!ENTITY % p 'x'>]><r/>") << -1 << QString();
    QTest::newRow("parameter entity used") << QByteArray("<!DOCTYPE r [<!ENTITY % p 'x'> %p;]><r/>")
                                           << 31 << QStringLiteral("Parameter entity");
    QTest::newRow("parameter entity used, after a comment and an instruction")
        << QByteArray("<!-- c --><?pi?><!DOCTYPE r [<!ENTITY % p 'x'> %p;]><r/>") << 47
        << QStringLiteral("Parameter entity");
    QTest::newRow("DOCTYPE after the root's start, which libxml2 refuses unread")
        << QByteArray("<r/><!DOCTYPE r [<!ENTITY % p 'x'> %p;]>") << -1 << QString();
    QTest::newRow("'%' inside a literal")
        << QByteArray("<!DOCTYPE r [<!ENTITY e '%p;'>]><r/>") << -1 << QString();
    QTest::newRow("attribute defaults at the limit")
        << "<!DOCTYPE r [<!ATTLIST r" + attributes(markupguard::attributeDefaultLimit, "\"") +
               ">]><r/>"
        << -1 << QString();
    QTest::newRow("attribute defaults over the limit")
        << "<!DOCTYPE r [<!-- > --><!ATTLIST r" +
               attributes(markupguard::attributeDefaultLimit + 1, "\"") + ">]><r/>"
        << 23 << QStringLiteral("defaults");
    QTest::newRow("entity literal with many references")
        << "<!DOCTYPE r [<!ENTITY e '" + QByteArray("&#61;").repeated(limit + 1) + "'>]><r/>" << 13
        << QStringLiteral("entity");
    QTest::newRow("entity literal holding a large tag")
        << "<!DOCTYPE r [<!ENTITY e \"<p" + attributes(limit + 1) + "/>\">]><r>&e;</r>" << 13
        << QStringLiteral("entity");
}

void MarkupGuardTest::violation()
{
    QFETCH(QByteArray, text);
    QFETCH(int, offset);
    QFETCH(QString, reasonPart);

    // A post body, as it is wrapped, can hold no document type declaration in force.
    const bool doctype = prolog::declaresDoctype(text).value_or(false);
    const auto violation = doctype ? markupguard::Guard().scan(text.constData(), text.size())
                                   : markupguard::firstViolation(text.constData(), text.size());
    QCOMPARE(violation.has_value(), offset >= 0);
    if (violation) {
        QCOMPARE(violation->offset, qint64(offset));
        QVERIFY2(violation->reason.contains(reasonPart), qPrintable(violation->reason));
    }
}

void MarkupGuardTest::longCDataIsSplitSafely_data()
{
    QTest::addColumn<QStringConverter::Encoding>("encoding");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QString>("piece");
    const QString mixed = QStringLiteral(u"é\U0001F600 ]>]] >");
    QTest::newRow("UTF-8, chunks of 1") << QStringConverter::Utf8 << 1 << mixed;
    QTest::newRow("UTF-8, odd chunks") << QStringConverter::Utf8 << 7 << mixed;
    // A section without a single ASCII character is split too, after whole characters.
    QTest::newRow("UTF-8, no ASCII, odd chunks")
        << QStringConverter::Utf8 << 7 << QStringLiteral(u"é語\U0001F600");
    QTest::newRow("UTF-16LE, odd chunks") << QStringConverter::Utf16LE << 7 << mixed;
    QTest::newRow("UTF-16BE, chunks of 1") << QStringConverter::Utf16BE << 1 << mixed;
}

void MarkupGuardTest::longCDataIsSplitSafely()
{
    QFETCH(QStringConverter::Encoding, encoding);
    QFETCH(int, chunk);
    QFETCH(QString, piece);

    const QString body = piece.repeated(2000);
    const QString text = QStringLiteral(R"(<?xml version="1.0"?><r><![CDATA[%1]]></r>)").arg(body);
    QStringEncoder encoder(encoding);
    const QByteArray input = encoder(text);

    bool passed = false;
    const QByteArray output = guardInChunks(input, chunk, &passed);
    QVERIFY(passed);
    QStringDecoder decoder(encoding);
    const QString decoded = decoder(output);
    const qsizetype pieces = decoded.count(QString::fromLatin1(marker));
    const qsizetype units = encoding == QStringConverter::Utf8 ? body.toUtf8().size() : body.size();
    QVERIFY(pieces >= units / markupguard::cdataPieceLength - 1);
    QCOMPARE(QString(decoded).remove(QString::fromLatin1(marker)), text);
    // Every piece ends after a character that does not close the section, never inside "]]" nor
    // inside a character.
    for (qsizetype at = decoded.indexOf(QString::fromLatin1(marker)); at >= 0;
         at = decoded.indexOf(QString::fromLatin1(marker), at + 1)) {
        QVERIFY(decoded.at(at - 1) != QLatin1Char(']') && !decoded.at(at - 1).isHighSurrogate());
        QVERIFY(decoded.mid(at - 3, 3) != QLatin1String("]]>"));
    }
    QCOMPARE(guardInChunks(input, 4096), output);
}

void MarkupGuardTest::oversizedMarkupStopsTheStream()
{
    const QByteArray comment =
        "<r><!--" + QByteArray(markupguard::streamedMarkupLimit, '>') + "--></r>";
    bool passed = true;
    guardInChunks(comment, 4096, &passed);
    QVERIFY(!passed);

    // Character data has no bound of its own: libxml2 passes it in linear time.
    const QByteArray text = "<r>" + QByteArray(2 * markupguard::streamedMarkupLimit, '>') + "</r>";
    guardInChunks(text, 4096, &passed);
    QVERIFY(passed);
}

void MarkupGuardTest::declaredEncoding_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("no declaration") << QByteArray("<rss/>") << true;
    QTest::newRow("no encoding") << QByteArray("<?xml version='1.0'?><rss/>") << true;
    for (const char* name : {"UTF-8", "utf8", "ISO-8859-1", "latin1", "windows-1252", "CP1251",
                             "Shift_JIS", "EUC-JP", "GB18030", "Big5", "KOI8-R"})
        QTest::newRow(name) << QByteArray("<?xml version=\"1.0\" encoding=\"") + name + "\"?><rss/>"
                            << true;
    for (const char* name :
         {"UTF-7", "ISO-2022-JP", "IBM037", "CP500", "CP1026", "CP1200", "UCS-2", "HZ-GB-2312"})
        QTest::newRow(name) << QByteArray("<?xml version=\"1.0\" encoding = '") + name +
                                   "' ?><rss/>"
                            << false;
    QTest::newRow("UTF-7 after a byte-order mark")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-7\"?><rss/>") << false;
    QTest::newRow("EBCDIC signature") << QByteArray("\x4C\x6F\xA7\x94\x93\x40") << false;
}

void MarkupGuardTest::declaredEncoding()
{
    QFETCH(QByteArray, start);
    QFETCH(bool, accepted);
    bool passed = false;
    guardInChunks(start, 3, &passed);
    QCOMPARE(passed, accepted);
}

QTEST_GUILESS_MAIN(MarkupGuardTest)
#include "tst_markupguard.moc"
