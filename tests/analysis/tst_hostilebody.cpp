// Hostile post bodies and dummy tag names: each is checked in a child process with bounded memory
// and time, and must give its defined row — parsed, or the first fault with libxml2's reason (or
// the attribute limit) at the right line and position.
#include "hostilechild.h"

#include <QTemporaryDir>

#include <libxml/xmlerror.h>

namespace {

QByteArray attributes(int count)
{
    QByteArray text;
    text.reserve(count * 10);
    for (int i = 0; i < count; ++i)
        text += " a" + QByteArray::number(i) + "=''";
    return text;
}

constexpr int anyFault = -1;
constexpr int anyPos = -1;

} // namespace

class HostileBodyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void hostileBody_data();
    void hostileBody();

private:
    QTemporaryDir dir_;
};

void HostileBodyTest::hostileBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reasonPart");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("links");

    const QString dummy = QStringLiteral("dummy");
    const QString limit = QStringLiteral("Excessive number of attributes");
    const QByteArray emoji = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units

    QTest::newRow("100 000-deep nesting")
        << QByteArray("<b>").repeated(100000) + QByteArray("</b>").repeated(100000) << dummy
        << int(XML_ERR_INTERNAL_ERROR) << QStringLiteral("Excessive depth") << 1 << anyPos << 0;
    QTest::newRow("50 MB single-line body, fault at its end")
        << "<p>" + QByteArray(50'000'000, 'x') + "</p>&" << dummy << int(XML_ERR_NAME_REQUIRED)
        << QString() << 1 << 45 + 3 + 50'000'000 + 4 + 2 << 0;
    QTest::newRow("data: URI of 16 MB")
        << "<img src=\"data:image/png;base64," + QByteArray(16 << 20, 'Q') + "\"/>" << dummy << 0
        << QString() << 0 << 0 << 1;
    QTest::newRow("100 000 top-level links") << QByteArray("<a href=\"u\">x</a>").repeated(100000)
                                             << dummy << 0 << QString() << 0 << 0 << 100000;
    QTest::newRow("characters above U+FFFF around the fault, line 1")
        << emoji + emoji + "&x " + emoji + emoji << dummy << int(XML_ERR_ENTITYREF_SEMICOL_MISSING)
        << QString() << 1 << 45 + 2 + 2 + 2 + 1 << 0;
    QTest::newRow("characters above U+FFFF around the fault, line 2")
        << emoji + "\n" + emoji + "&x " + emoji << dummy << int(XML_ERR_ENTITYREF_SEMICOL_MISSING)
        << QString() << 2 << 2 + 2 + 1 << 0;
    QTest::newRow("CDATA section")
        << QByteArray("<p><![CDATA[<b>not markup & </i>]]></p><a href=\"x\">y</a>") << dummy << 0
        << QString() << 0 << 0 << 1;
    QTest::newRow("]]> in text") << QByteArray("a ]]> b") << dummy
                                 << int(XML_ERR_MISPLACED_CDATA_END) << QString() << 1 << anyPos
                                 << 0;
    QTest::newRow("processing instruction")
        << QByteArray("<?php echo 1; ?><img src=\"i\"/>") << dummy << 0 << QString() << 0 << 0 << 1;
    QTest::newRow("DOCTYPE") << QByteArray("<!DOCTYPE html><p>x</p>") << dummy << anyFault
                             << QString() << 1 << anyPos << 0;
    QTest::newRow("256 attributes")
        << "<p" + attributes(256) + "/>" << dummy << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("257 attributes") << "<p" + attributes(257) + "/>" << dummy
                                    << int(XML_ERR_INTERNAL_ERROR) << limit << 1 << 46 << 0;
    QTest::newRow("1 000 000 attributes on line 2")
        << "text\n" + emoji + "<img" + attributes(1000000) + "/>" << dummy
        << int(XML_ERR_INTERNAL_ERROR) << limit << 2 << 3 << 0;
    QTest::newRow("60 000 attributes after an earlier fault")
        << "&nbsp;<p" + attributes(60000) + "/>" << dummy << int(XML_ERR_UNDECLARED_ENTITY)
        << QString() << 1 << anyPos << 0;
    QTest::newRow("60 000 attributes inside a CDATA section")
        << "<![CDATA[<p" + attributes(60000) + "/>]]>" << dummy << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("60 000 attributes inside a comment")
        << "<!--<p" + attributes(60000) + "/>-->" << dummy << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("60 000 duplicate attributes")
        << "<p" + QByteArray(" a=''").repeated(60000) + "/>" << dummy << int(XML_ERR_INTERNAL_ERROR)
        << limit << 1 << 46 << 0;

    const QByteArray link = "<a href=\"x\">y</a>";
    QTest::newRow("tag with a hyphen")
        << link << QStringLiteral("x-y") << 0 << QString() << 0 << 0 << 1;
    for (const char* tag :
         {"my tag", "a<b", "a>b", "a&b", "a\"b", "|", "/", "[", ":", "x:y", "1x", "dummy>"})
        QTest::newRow(qPrintable(QStringLiteral("tag \"%1\"").arg(QLatin1String(tag))))
            << link << QString::fromLatin1(tag) << anyFault << QString() << 1 << anyPos << 0;
}

void HostileBodyTest::hostileBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, tag);
    QFETCH(int, code);
    QFETCH(QString, reasonPart);
    QFETCH(int, line);
    QFETCH(int, pos);
    QFETCH(int, links);

    QFile file(dir_.filePath(QStringLiteral("body")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(body), body.size());
    file.close();

    const hostile::ChildResult result = hostile::runChild(
        {QStringLiteral("body"), file.fileName(), tag}, hostile::secondsAllowed(10));
    const QList<hostile::Row> rows = hostile::rowsOf(result);
    const hostile::Row row = rows.value(0);
    hostile::report(QTest::currentDataTag(),
                    row.code == 0
                        ? QStringLiteral("parsed, %1 link rows")
                              .arg(hostile::fieldsOf(result, QStringLiteral("found")).value(5))
                        : QStringLiteral("%1 at %2:%3: %4")
                              .arg(row.code)
                              .arg(row.line)
                              .arg(row.pos)
                              .arg(row.reason),
                    result);

    QVERIFY2(!result.timedOut, "the case ran out of time");
    QVERIFY2(result.exited && result.exitCode == 0, result.errors.right(2000).constData());
    QVERIFY(result.peakKb < hostile::memoryLimitMb * 1024 * (hostile::underSanitizer ? 2 : 1));
    QCOMPARE(rows.size(), 1);
    if (code == anyFault)
        QVERIFY(row.code != 0);
    else
        QCOMPARE(row.code, code);
    QVERIFY2(row.reason.contains(reasonPart), qPrintable(row.reason));
    QCOMPARE(row.code == 0, row.reason.isEmpty());
    QCOMPARE(row.line, line);
    if (pos != anyPos)
        QCOMPARE(row.pos, pos);
    if (row.code != 0)
        QVERIFY(row.pos > 0 && row.narrowed.size() <= 21);
    QCOMPARE(hostile::fieldsOf(result, QStringLiteral("found")).value(5).toInt(), links);
}

HOSTILE_TEST_MAIN(HostileBodyTest)
#include "tst_hostilebody.moc"
