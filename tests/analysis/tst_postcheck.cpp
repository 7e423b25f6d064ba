#include "checkpost.h"

#include "analysis/errornarrowing.h"
#include "analysis/wrappername.h"

#include <QTest>

// What the checker records for one body: the first fault with its place in the wrapped text.
class PostCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void firstFault_data();
    void firstFault();
    void wrapperName_data();
    void wrapperName();
    void wrapperNameRefused_data();
    void wrapperNameRefused();
    void cellsKeepTitleAndBody();

private:
    // Checks every row of firstFault in turn, as a worker checks post after post.
    PostChecker reusedChecker_{QStringLiteral("dummy")};
};

namespace {
const QString dummy = QStringLiteral("dummy");
const QString declarationAndWrapper =
    QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><dummy>");
} // namespace

void PostCheckTest::firstFault_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("code"); // -1: any fault
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("source");

    QTest::newRow("empty body") << QString() << 0 << 0 << 0 << QString();
    QTest::newRow("plain text") << QStringLiteral("just words, no markup") << 0 << 0 << 0
                                << QString();
    QTest::newRow("empty-element br") << QStringLiteral("one<br/>two") << 0 << 0 << 0 << QString();
    QString manyNames; // more than a reused parser keeps before it starts anew
    for (int i = 0; i <= 100000; ++i)
        manyNames += QStringLiteral("<e%1/>").arg(i);
    QTest::newRow("more element names than a parser keeps")
        << manyNames << 0 << 0 << 0 << QString();
    QTest::newRow("links") << QStringLiteral("<a href='x' class=\"c\">y</a><img src='i&amp;j'/>")
                           << 0 << 0 << 0 << QString();
    QTest::newRow("processing instruction")
        << QStringLiteral("<?php echo 1; ?>text") << 0 << 0 << 0 << QString();
    QTest::newRow("nested element named like the wrapper")
        << QStringLiteral("<dummy><dummy>x</dummy></dummy>") << 0 << 0 << 0 << QString();
    QTest::newRow("namespace name that is an IRI is no fault")
        << QStringLiteral("<a xmlns:h=\"http://ëx.com/\" href=\"u\">z</a>") << 0 << 0 << 0
        << QString();

    // The fault is reported at the closing wrapper tag, after it: 45 + 20 body characters + 8.
    QTest::newRow("html br") << QStringLiteral("line one<br>line two") << 76 << 1 << 74
                             << declarationAndWrapper +
                                    QStringLiteral("line one<br>line two</dummy>");
    QTest::newRow("named entity on line 1")
        << QStringLiteral("price&nbsp;list") << 26 << 1 << 45 + 12
        << declarationAndWrapper + QStringLiteral("price&nbsp;list</dummy>");
    QTest::newRow("named entity on line 2") << QStringLiteral("ok\nprice&nbsp;list") << 26 << 2
                                            << 12 << QStringLiteral("price&nbsp;list</dummy>");
    QTest::newRow("bare ampersand in a link")
        << QStringLiteral("<p>x</p>\n<a href=\"https://x.example/?a=1&b=2\">q</a>") << 23 << 2 << -1
        << QString();
    QTest::newRow("unquoted attribute")
        << QStringLiteral("<a href=https://x.example/>u</a>") << 39 << 1 << -1 << QString();
    QTest::newRow("repeated attribute")
        << QStringLiteral("<img src=\"x.png\" alt=\"a\" alt=\"b\"/>") << 42 << 1 << -1 << QString();
    QTest::newRow("unclosed paragraph reported on the last line")
        << QStringLiteral("<p>first\nsecond line") << 76 << 2 << 20
        << QStringLiteral("second line</dummy>");
    QTest::newRow("CDATA end in text") << QStringLiteral("x]]>y") << 62 << 1 << -1 << QString();
    QTest::newRow("DOCTYPE in a body")
        << QStringLiteral("<!DOCTYPE x>") << -1 << 1 << -1 << QString();
    QTest::newRow("XML declaration in a body")
        << QStringLiteral("<?xml version=\"1.0\"?>") << -1 << 1 << -1 << QString();
    QTest::newRow("undeclared prefix")
        << QStringLiteral("<h:tag>prefix</h:tag>") << 201 << 1 << -1 << QString();

    // Positions count UTF-16 units; libxml2 counts code points.
    QTest::newRow("characters above U+FFFF before the fault")
        << QStringLiteral("😀😀&nbsp;x") << 26 << 1 << 45 + 4 + 6 + 1 << QString();
    QTest::newRow("CJK before the fault")
        << QStringLiteral("日本語&nbsp;x") << 26 << 1 << 45 + 3 + 6 + 1 << QString();
    QTest::newRow("lone CR does not end a line") << QStringLiteral("l1\r\nl2\rl3 &nbsp;") << 26 << 2
                                                 << 13 << QStringLiteral("l2\rl3 &nbsp;</dummy>");
}

void PostCheckTest::firstFault()
{
    QFETCH(QString, body);
    QFETCH(int, code);
    QFETCH(int, line);
    QFETCH(int, pos);
    QFETCH(QString, source);

    const PostReport report = checkPostBody(body.toUtf8(), dummy);
    // A checker that has checked every row before this one, faults and all, reports the same.
    const PostReport reused = reusedChecker_.check(body.toUtf8());
    QCOMPARE(reused.errorCode, report.errorCode);
    QCOMPARE(reused.reason, report.reason);
    QCOMPARE(reused.line, report.line);
    QCOMPARE(reused.pos, report.pos);
    QCOMPARE(reused.bodyOffset, report.bodyOffset);
    QCOMPARE(reused.links.size(), report.links.size());
    for (size_t i = 0; i < report.links.size(); ++i) {
        QCOMPARE(reused.links[i].values, report.links[i].values);
        QCOMPARE(reused.links[i].attributes.size(), report.links[i].attributes.size());
        for (size_t k = 0; k < report.links[i].attributes.size(); ++k)
            QCOMPARE(reused.links[i].attributes[k].name, report.links[i].attributes[k].name);
    }
    if (code == -1)
        QVERIFY2(report.errorCode != 0, "expected a fault");
    else
        QCOMPARE(report.errorCode, code);
    QCOMPARE(report.line, line);
    if (pos != -1)
        QCOMPARE(report.pos, pos);
    if (!source.isNull() || code == 0)
        QCOMPARE(QString::fromUtf8(report.sourceUtf8), source);
    if (report.errorCode != 0) {
        QVERIFY(!report.reason.isEmpty());
        QVERIFY2(!report.reason.back().isSpace(), "trailing white space kept");
        QVERIFY(report.links.empty());
    } else {
        QVERIFY(report.reason.isEmpty());
    }
}

void PostCheckTest::wrapperName_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<int>("pos");

    // With a name of n characters the body starts at 38 + n + 3.
    QTest::newRow("short name moves line 1")
        << QStringLiteral("post") << QStringLiteral("&nbsp;") << false << 38 + 4 + 2 + 6 + 1;
    QTest::newRow("default name") << dummy << QStringLiteral("&nbsp;") << false
                                  << 38 + 5 + 2 + 6 + 1;
    QTest::newRow("trailing blank is legal")
        << QStringLiteral("dummy ") << QStringLiteral("x") << true << 0;
    QTest::newRow("name with a space")
        << QStringLiteral("a b") << QStringLiteral("x") << false << -1;
    QTest::newRow("name with markup")
        << QStringLiteral("x><y") << QStringLiteral("x") << false << -1;
    QTest::newRow("name with an unbound prefix")
        << QStringLiteral("p:q") << QStringLiteral("x") << false << -1;
    QTest::newRow("non-Latin name")
        << QStringLiteral("ラッパー") << QStringLiteral("x") << true << 0;
}

void PostCheckTest::wrapperName()
{
    QFETCH(QString, tag);
    QFETCH(QString, body);
    QFETCH(bool, parses);
    QFETCH(int, pos);

    const PostReport report = checkPostBody(body.toUtf8(), tag);
    QCOMPARE(report.errorCode == 0, parses);
    if (pos != -1)
        QCOMPARE(report.pos, pos);
}

void PostCheckTest::wrapperNameRefused_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("problem"); // empty: accepted, and a post wrapped in it parses

    QTest::newRow("default") << dummy << QString();
    QTest::newRow("trailing blank") << QStringLiteral("dummy ") << QString();
    QTest::newRow("non-Latin") << QStringLiteral("ラッパー") << QString();
    QTest::newRow("punctuation allowed") << QStringLiteral("_a-b.c\u00b7") << QString();
    QTest::newRow("1000 characters") << QString(1000, u'n') << QString();
    QTest::newRow("1001 characters") << QString(1001, u'n') << QStringLiteral("longer than 1000");
    QTest::newRow("1 MB") << QString(1 << 20, u'n') << QStringLiteral("longer than 1000");
    QTest::newRow("inner space") << QStringLiteral("a b") << QStringLiteral("\" \" (U+0020)");
    QTest::newRow("a space") << QStringLiteral(" ") << QStringLiteral("only blanks");
    QTest::newRow("digit first") << QStringLiteral("1abc") << QStringLiteral("cannot start");
    QTest::newRow("colon") << QStringLiteral("a:b") << QStringLiteral("colon");
    QTest::newRow("markup") << QStringLiteral("<x>") << QStringLiteral("\"<\"");
    QTest::newRow("lone surrogate") << QStringLiteral("a\xdc80") << QStringLiteral("U+DC80");
}

void PostCheckTest::wrapperNameRefused()
{
    QFETCH(QString, tag);
    QFETCH(QString, problem);
    const QString found = wrapperNameProblem(tag);
    if (problem.isEmpty()) {
        QVERIFY2(found.isEmpty(), qPrintable(found));
        const PostReport report = checkPostBody("<a href=\"x\">y</a>", tag);
        QCOMPARE(report.errorCode, 0);
        QCOMPARE(report.links.size(), size_t(1));
    } else {
        QVERIFY2(found.contains(problem), qPrintable(found));
    }
}

void PostCheckTest::cellsKeepTitleAndBody()
{
    ResultTables tables;
    tables.reset();
    const QString title = QStringLiteral("Café – 語 😀");
    const QString body = QStringLiteral("<p>x &nbsp; 😀</p>\r\n\ttail");
    checkPost(tables, title, body, dummy);

    QCOMPARE(tables.errorRowCount, 1);
    QCOMPARE(tables.errorTable.cell(ErrorTitleColumn, 1), title);
    QCOMPARE(tables.errorTable.cell(ErrorContentColumn, 1), body);
    QCOMPARE(tables.errorTable.cell(ErrorCodeColumn, 1), QStringLiteral("26"));
    QCOMPARE(tables.errorTable.cell(ErrorLineColumn, 1), QStringLiteral("1"));
    // Narrowed is the part of Source around Pos, as soon as the row is recorded.
    QCOMPARE(tables.errorTable.cell(ErrorNarrowedColumn, 1),
             narrowAround(tables.errorTable.cell(ErrorSourceColumn, 1),
                          tables.errorTable.cell(ErrorPosColumn, 1).toInt()));

    checkPost(tables, QString(), QString(), dummy);
    QCOMPARE(tables.errorRowCount, 2);
    const QStringList parsed{
        QString(),           QString(),           QStringLiteral("0"), QString(),
        QStringLiteral("0"), QStringLiteral("0"), QString(),           QString()};
    for (int column = 0; column < ErrorColumnCount; ++column)
        QCOMPARE(tables.errorTable.cell(column, 2), parsed.at(column));
}

QTEST_GUILESS_MAIN(PostCheckTest)
#include "tst_postcheck.moc"
