#include "exportfixture.h"

#include "analysis/analysisrun.h"
#include "export/tabdelimited.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <unistd.h>

// postlint-report as scripts run it: arguments in, output, files and exit status out.
class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exitStatus_data();
    void exitStatus();
    void faultLinesAndSummary();
    void jsonReport();
    void sarifReport();
    void tablesWrittenToFiles();
    void tablesMatchTheWindowsExport();
    void tableOnStandardOutput();
    void noItemsStillWritesHeaders();
    void unwritableOutput();
    void outputPaths_data();
    void outputPaths();
    void shellRedirections_data();
    void shellRedirections();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run report(const QStringList& arguments);

    ExportFixture fixture_;
    QString mixedExport_;
    QString cleanExport_;
    QString noItemsExport_;
    QString wideExport_;
    QString auditExport_;
    QString movedExport_;
};

void ReportTest::initTestCase()
{
    mixedExport_ =
        fixture_.write(ExportFixture::channelWith(
                           {ExportFixture::item("Good", "<a href=\"https://x.example/\">x</a>"),
                            ExportFixture::item("Bad entity", "x&nbsp;y")
                                .replace("</item>", "<wp:post_id>7</wp:post_id></item>"),
                            ExportFixture::item("Bad\nbreak", "ok\n<p>open")}),
                       QStringLiteral("mixed.xml"));
    cleanExport_ =
        fixture_.write(ExportFixture::channelWith({ExportFixture::item("Good", "<p>fine</p>")}),
                       QStringLiteral("clean.xml"));
    noItemsExport_ = fixture_.write(QByteArray("not xml at all"), QStringLiteral("text.xml"));
    QString attributes;
    for (int i = 1; i <= 24; ++i)
        attributes += QStringLiteral(" n%1=\"v\"").arg(i);
    wideExport_ = fixture_.write(
        ExportFixture::channelWith({ExportFixture::item("Wide", "<img" + attributes + "/>")}),
        QStringLiteral("wide.xml"));
    // A well-formed post whose image names a file and an ID that the one attachment is not.
    auditExport_ = fixture_.write(
        ExportFixture::channelWith(
            {"<link>https://site.example/</link>",
             ExportFixture::item("Pics", "<img class=\"wp-image-99\" "
                                         "src=\"/wp-content/uploads/a.jpg\" alt=\"\"/>")
                 .replace("</item>", "<wp:post_id>4</wp:post_id></item>"),
             ExportFixture::item("File", "")
                 .replace("</item>", "<wp:post_type>attachment</wp:post_type><wp:attachment_url>"
                                     "https://site.example/wp-content/uploads/b.jpg"
                                     "</wp:attachment_url></item>")}),
        QStringLiteral("audit.xml"));
    // A post on the blog's old host, which only the guid of a later item shows to be the site's.
    movedExport_ =
        fixture_.write(ExportFixture::channelWith(
                           {"<link>https://site.example/</link>",
                            ExportFixture::item("Old", "<a href=\"http://old.example/p/\">p</a>"),
                            ExportFixture::item("P", "").replace(
                                "</item>", "<guid>http://old.example/?p=2</guid></item>")}),
                       QStringLiteral("moved.xml"));
}

ReportTest::Run ReportTest::report(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(POSTLINT_BIN_DIR "/postlint-report"), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void ReportTest::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("all well-formed") << QStringList{cleanExport_} << 0 << QString();
    QTest::newRow("some not well-formed") << QStringList{mixedExport_} << 1 << QString();
    QTest::newRow("no items") << QStringList{noItemsExport_} << 2
                              << "Could not find any WordPress items in the export.\n" +
                                     noItemsExport_ + ":1:1: error: Document is empty\n";
    QTest::newRow("missing file") << QStringList{fixture_.path("missing.xml")} << 2
                                  << "Could not find any WordPress items in the export.\n" +
                                         fixture_.path("missing.xml") +
                                         ":0:0: error: No such file or directory\n";
    QTest::newRow("empty tag") << QStringList{"--tag", "", cleanExport_} << 2
                               << QStringLiteral(
                                      "Dummy tags encapsulate the raw HTML to allow XML parsing, \n"
                                      "it can not be empty and must be unique.");
    QTest::newRow("no export named")
        << QStringList{} << 2 << QStringLiteral("no export file named");
    QTest::newRow("several exports, worst status 1")
        << QStringList{cleanExport_, mixedExport_, cleanExport_} << 1 << QString();
    QTest::newRow("several exports, worst status 2")
        << QStringList{mixedExport_, noItemsExport_, cleanExport_} << 2
        << QStringLiteral("Could not find any WordPress items in the export.");
    QTest::newRow("--errors with several exports")
        << QStringList{"--errors", fixture_.path("e.txt"), cleanExport_, cleanExport_} << 2
        << QStringLiteral("--errors can only be given with one export");
    QTest::newRow("--links= with several exports")
        << QStringList{"--links=" + fixture_.path("l.txt"), cleanExport_, cleanExport_} << 2
        << QStringLiteral("--links can only be given with one export");
    QTest::newRow("unknown format") << QStringList{"--format=xml", cleanExport_} << 2
                                    << QStringLiteral("--format: unknown format 'xml'");
    QTest::newRow("format without value")
        << QStringList{cleanExport_, "--format"} << 2 << QStringLiteral("'--format'");
    QTest::newRow("JSON and a table on standard output")
        << QStringList{"--format", "json", "--links", "-", cleanExport_} << 2
        << QStringLiteral("--links -");
    QTest::newRow("GNU-style value") << QStringList{"--tag=post", mixedExport_} << 1 << QString();
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate", cleanExport_} << 2 << QStringLiteral("frobnicate");
    QTest::newRow("wrapper that is no element name")
        << QStringList{"--tag", "a b", cleanExport_} << 2
        << QStringLiteral("--tag must be an XML element name without a colon");
    QTest::newRow("wrapper of 100 000 characters")
        << QStringList{"--tag", QString(100000, u'n'), cleanExport_} << 2
        << QStringLiteral("longer than 1000 characters");
    QTest::newRow("wrapper of 1000 characters")
        << QStringList{"--tag", QString(1000, u'n'), cleanExport_} << 0 << QString();
    QTest::newRow("wrapper of 1000 characters beyond U+FFFF")
        << QStringList{"--tag", QStringLiteral("\U0001F600").repeated(1000), cleanExport_} << 0
        << QString();
    QTest::newRow("attributes without a column")
        << QStringList{"--links", fixture_.path("wide-links.txt"), wideExport_} << 0
        << QStringLiteral("whose values were left out: n23 (1), n24 (1)\n");
    QTest::newRow("attributes without a column, no link table asked for")
        << QStringList{wideExport_} << 0 << QString();
    QTest::newRow("attributes without a column, JSON's link rows hold them")
        << QStringList{"--format=json", "--with-links", wideExport_} << 0 << QString();
    QTest::newRow("empty file name") << QStringList{"--errors", "", cleanExport_} << 2
                                     << QStringLiteral("--errors needs a file name");
    QTest::newRow("audit: an error finding")
        << QStringList{"--audit", auditExport_} << 1 << QString();
    QTest::newRow("audit: nothing found") << QStringList{"--audit", cleanExport_} << 0 << QString();
    QTest::newRow("audit: the error checks left out")
        << QStringList{"--skip-checks", "missing-id,missing-media", auditExport_} << 0 << QString();
    QTest::newRow("audit: only another check")
        << QStringList{"--checks=missing-alt", auditExport_} << 0 << QString();
    QTest::newRow("audit: unknown check")
        << QStringList{"--skip-checks", "shortcode,nope", cleanExport_} << 2
        << QStringLiteral("unknown check 'nope' (the checks: missing-post,");
    QTest::newRow("audit: site address that is no URL")
        << QStringList{"--site-url", "site.example", cleanExport_} << 2
        << QStringLiteral("--site-url needs an http or https address");
    QTest::newRow("audit: the inventory's class decided by a later item")
        << QStringList{"--urls", "/dev/stderr", movedExport_} << 0
        << QStringLiteral("\thttp://old.example/p/\tsite\told.example\t");
    // Its site-host warning and missing-post, without the note meant for other sites.
    QTest::newRow("audit: no insecure-link to a host a later item shows")
        << QStringList{"--urls", "-", movedExport_} << 0
        << QStringLiteral("1 link rows, 2 findings\n");
    QTest::newRow("--urls with several exports")
        << QStringList{"--urls", fixture_.path("u.txt"), cleanExport_, cleanExport_} << 2
        << QStringLiteral("--urls can only be given with one export");
    QTest::newRow("unknown encoding") << QStringList{"--encoding", "utf-16", cleanExport_} << 2
                                      << QStringLiteral("unknown encoding utf-16");
    // UTF-16 with a high surrogate that no low one follows.
    const QString declared = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><rss><x>");
    QByteArray utf16("\xFF\xFE", 2);
    utf16 += QByteArray(reinterpret_cast<const char*>(declared.utf16()), declared.size() * 2);
    utf16 += QByteArray("\x00\xD8r\x00", 4);
    QTest::newRow("bytes the encoding cannot read")
        << QStringList{fixture_.write(utf16, QStringLiteral("surrogate.xml"))} << 2
        << QStringLiteral(":0:0: error: the file's bytes cannot be read in its encoding: input "
                          "conversion failed due to input error, bytes 0x00 0xD8 0x72 0x00\n");
}

void ReportTest::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, errorText);
    const Run run = report(arguments);
    QCOMPARE(run.exitCode, exitCode);
    // A run that is not meant to complain says nothing on standard error, and libxml2's own
    // messages ("encoding error : ...") never get there.
    QVERIFY2(errorText.isEmpty() ? run.err.isEmpty() : run.err.contains(errorText),
             qPrintable(run.err));
    QVERIFY2(!run.err.contains(QLatin1String(" error : ")), qPrintable(run.err));
}

void ReportTest::faultLinesAndSummary()
{
    // Places in the export file: the entity ends at column 65 of the item's line; the element
    // left open is reported at the end of the body, on the body's second line.
    const Run run = report({mixedExport_});
    QCOMPARE(run.out,
             mixedExport_ +
                 QStringLiteral(":7:65: error: Entity 'nbsp' not defined [Bad entity]\n") +
                 mixedExport_ +
                 QStringLiteral(":10:8: error: Opening and ending tag mismatch: p line 2 and "
                                "dummy [Bad break]\n"
                                "3 items, 2 not well-formed, 1 link rows\n"));
    QCOMPARE(report({"--quiet", mixedExport_}).out,
             QStringLiteral("3 items, 2 not well-formed, 1 link rows\n"));
    // Faults of the export itself follow the post faults, and alone make the exit status 1.
    const QString faulty = fixture_.write(
        ExportFixture::channelWith(
            {ExportFixture::item("Fine", "ok")
                 .replace("</item>", "<wp:post_id>5</wp:post_id><wp:meta>\x10</wp:meta></item>")}),
        QStringLiteral("faulty.xml"));
    const Run faultyRun = report({faulty});
    QCOMPARE(faultyRun.out,
             faulty + QStringLiteral(":6:110: warning: PCDATA invalid Char value 16 (in \"Fine\", "
                                     "post ID 5)\n1 items, 0 not well-formed, 0 link rows, 1 "
                                     "export faults\n"));
    QCOMPARE(faultyRun.exitCode, 1);
    // An export cut inside an item has lost posts; the text that PHP printed after the end of
    // another cost none.
    const QString whole = ExportFixture::channelWith(
        {ExportFixture::item("A", "ok"), ExportFixture::item("Cut", "ok")});
    const QString cutItem = fixture_.write(whole.left(whole.lastIndexOf(QLatin1String("<content"))),
                                           QStringLiteral("cut-item.xml"));
    const QString trailing =
        fixture_.write(whole + QStringLiteral("\nWarning: x\n"), QStringLiteral("trailing.xml"));
    // The cut's reason names its item already.
    QVERIFY(report({cutItem}).out.contains(QLatin1String(
        ": error: the export ends inside item \"Cut\"; the 1 item before it was read\n")));
    QVERIFY(report({trailing})
                .out.contains(QLatin1String(
                    ": warning: 1 line after the end of the document, starting \"Warning: x\"")));
    // Found unusable at its end, an export has had its faults printed: the counts agree.
    QStringList many(20000, ExportFixture::item("Good", "<p>fine</p>"));
    many.prepend(ExportFixture::item("Bad", "x&nbsp;y"));
    const QString cut = fixture_.write(
        ExportFixture::channelWith(many).replace("</channel>", "<oops"), QStringLiteral("cut.xml"));
    const Run cutRun = report({cut});
    QCOMPARE(cutRun.exitCode, 2);
    const QString printed = QString::number(cutRun.out.count(QLatin1String(": error: ")));
    QVERIFY2(cutRun.out.contains(QStringLiteral(" items, %1 not well-formed").arg(printed)) &&
                 !cutRun.out.startsWith(QLatin1String("0 items")),
             qPrintable(cutRun.out.right(300)));
    // What an export holds never makes a line of its own, nor reaches a terminal as control.
    const QString forging = fixture_.write(
        ExportFixture::channelWith(
            {ExportFixture::item("Esc\x1b[2Jape", "x&nbsp;y")
                 .replace("</item>", "<wp:post_id>5\nevil.xml:1:1: error: forged</wp:post_id>"
                                     "<wp:meta>\x10</wp:meta></item>")}),
        QStringLiteral("forging.xml"));
    const QStringList forged = report({forging}).out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(forged.size(), 4); // the post's fault, the ESC and the DLE, the summary
    QVERIFY2(!forged.join(u'\n').contains(u'\x1b') && forged.at(2).startsWith(forging),
             qPrintable(forged.join(u'\n')));
    // A title's override left open is closed before the line goes on; one closed stays as is.
    const QString bidi =
        fixture_.write(ExportFixture::channelWith(
                           {ExportFixture::item(QStringLiteral("\u2067a\u202Eb"), "x&nbsp;y"),
                            ExportFixture::item(QStringLiteral("\u202Bc\u202C d"), "x&nbsp;y")}),
                       QStringLiteral("bidi.xml"));
    const QString bidiOut = report({bidi}).out;
    QVERIFY2(bidiOut.contains(QStringLiteral("[\u2067a\u202Eb\u202C\u2069]\n")) &&
                 bidiOut.contains(QStringLiteral("[\u202Bc\u202C d]\n")),
             qPrintable(bidiOut));
    // An item whose fault comes before any `wp:post_id` is named by its title alone.
    const QString noId = fixture_.write(
        ExportFixture::channelWith({ExportFixture::item("Fine", "ok")
                                        .replace("</item>", "<wp:meta>\x10</wp:meta></item>")}),
        QStringLiteral("noid.xml"));
    QVERIFY(report({noId}).out.contains(QLatin1String("value 16 (in \"Fine\")\n1 items")));
    const Run several = report({"--quiet", cleanExport_, mixedExport_});
    QCOMPARE(several.out,
             cleanExport_ + QStringLiteral(": 1 items, 0 not well-formed, 0 link rows\n") +
                 mixedExport_ + QStringLiteral(": 3 items, 2 not well-formed, 1 link rows\n"));
    QCOMPARE(report({"--audit", auditExport_}).out,
             auditExport_ +
                 QStringLiteral(":7:52: error: /wp-content/uploads/a.jpg: no attachment of the "
                                "export holds this file (img src) [missing-media] [Pics]\n") +
                 auditExport_ +
                 QStringLiteral(
                     ":7:52: error: no attachment of the export has the ID 99 "
                     "(img class) [missing-id] [Pics]\n2 items, 0 not well-formed, 1 link rows, "
                     "2 findings\n"));
    // Every line but the summaries has the shape that CI systems' problem matchers take, GCC's.
    const QRegularExpression matcher(
        QStringLiteral(R"(^(.*):(\d+):(\d+):\s+(warning|error):\s+(.*)$)"));
    for (const QString& output :
         {run.out, faultyRun.out, forged.join(u'\n'), report({"--audit", auditExport_}).out,
          report({noItemsExport_}).err}) {
        for (const QString& line : output.split(u'\n', Qt::SkipEmptyParts)) {
            if (!line.contains(QLatin1String(" items, ")) && line != noItemsMessage)
                QVERIFY2(matcher.match(line).hasMatch(), qPrintable(line));
        }
    }
    QVERIFY(report({"--help"}).out.contains(QLatin1String("--format <FORMAT>")));
    QCOMPARE(report({"--version"}).exitCode, 0);
}

void ReportTest::jsonReport()
{
    const Run run = report({"--format=json", "--with-links", mixedExport_, noItemsExport_});
    QCOMPARE(run.exitCode, 2);
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(document.value("exitStatus").toInt(), 2);
    const QJsonArray exports = document.value("exports").toArray();
    QCOMPARE(exports.size(), 2);
    const QJsonObject mixed = exports.at(0).toObject();
    QCOMPARE(mixed.value("file").toString(), mixedExport_);
    QCOMPARE(mixed.value("items").toInt(), 3);
    QCOMPARE(mixed.value("notWellFormed").toInt(), 2);
    QCOMPARE(mixed.value("exitStatus").toInt(), 1);
    const QJsonObject fault = mixed.value("postFaults").toArray().at(0).toObject();
    QCOMPARE(fault.value("title").toString(), QStringLiteral("Bad entity"));
    QCOMPARE(fault.value("postId").toString(), QStringLiteral("7"));
    QCOMPARE(fault.value("code").toInt(), 26);
    QCOMPARE(fault.value("line").toInt(), 1);
    QCOMPARE(fault.value("pos").toInt(), 53);
    QCOMPARE(fault.value("exportLine").toInt(), 7);
    QCOMPARE(fault.value("exportColumn").toInt(), 65);
    QCOMPARE(fault.value("narrowed").toString(), QStringLiteral("my>x&nbsp;y</dummy>"));
    const QJsonObject link = mixed.value("links").toArray().at(0).toObject();
    QCOMPARE(link.value("attributes").toObject().value("href").toString(),
             QStringLiteral("https://x.example/"));
    const QJsonObject unusable = exports.at(1).toObject();
    QCOMPARE(unusable.value("usable").toBool(), false);
    QCOMPARE(unusable.value("exitStatus").toInt(), 2);

    const QJsonObject audited =
        QJsonDocument::fromJson(report({"--format=json", "--audit", auditExport_}).out.toUtf8())
            .object()
            .value("exports")
            .toArray()
            .at(0)
            .toObject();
    const QJsonObject finding = audited.value("findings").toArray().at(1).toObject();
    QCOMPARE(finding.value("check").toString(), QStringLiteral("missing-id"));
    QCOMPARE(finding.value("subject").toString(), QStringLiteral("99"));
    QCOMPARE(finding.value("postId").toString(), QStringLiteral("4"));
    QCOMPARE(finding.value("exportLine").toInt(), 7);
    const QJsonObject summary = audited.value("summary").toObject();
    QCOMPARE(summary.value("checks").toObject().value("missing-media").toObject().value("error"),
             QJsonValue(1));
    QCOMPARE(summary.value("hosts").toArray().at(0).toObject().value("class").toString(),
             QStringLiteral("current"));
}

void ReportTest::sarifReport()
{
    const Run run = report({"--format", "sarif", mixedExport_});
    QCOMPARE(run.exitCode, 1);
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(document.value("version").toString(), QStringLiteral("2.1.0"));
    const QJsonObject sarifRun = document.value("runs").toArray().at(0).toObject();
    const QJsonArray results = sarifRun.value("results").toArray();
    QCOMPARE(results.size(), 2);
    const QJsonObject result = results.at(1).toObject();
    QCOMPARE(result.value("ruleId").toString(), QStringLiteral("libxml2-76"));
    const QJsonObject location =
        result.value("locations").toArray().at(0).toObject().value("physicalLocation").toObject();
    QCOMPARE(location.value("artifactLocation").toObject().value("uri").toString(),
             QUrl::fromLocalFile(mixedExport_).toString(QUrl::FullyEncoded));
    QCOMPARE(location.value("region").toObject().value("startLine").toInt(), 10);
    QCOMPARE(location.value("region").toObject().value("startColumn").toInt(), 8);
    // Each rule says what its code stands for and what usually causes it in a post.
    QStringList rules;
    for (const QJsonValue rule :
         sarifRun.value("tool").toObject().value("driver").toObject().value("rules").toArray())
        rules.append(rule["id"].toString() + u'|' + rule["shortDescription"]["text"].toString() +
                     u'|' + rule["help"]["text"].toString());
    QCOMPARE(rules.size(), 2);
    QVERIFY2(rules.at(0).startsWith("libxml2-26|Entity not defined|") &&
                 rules.at(0).contains("`&nbsp;` becomes `&#160;`") &&
                 rules.at(1).startsWith("libxml2-76|Opening and ending tag mismatch|") &&
                 rules.at(1).contains("`<br/>`"),
             qPrintable(rules.join(u'\n')));
    // A fault of the export that cost no post is a warning.
    const QString faulty = fixture_.write(
        ExportFixture::channelWith({ExportFixture::item("Fine", "ok")
                                        .replace("</item>", "<wp:meta>\x10</wp:meta></item>")}),
        QStringLiteral("sarif-faulty.xml"));
    const QJsonObject faultyRun =
        QJsonDocument::fromJson(report({"--format=sarif", faulty}).out.toUtf8())["runs"][0]
            .toObject();
    QCOMPARE(faultyRun["results"][0]["level"].toString(), QStringLiteral("warning"));
    QVERIFY(faultyRun["tool"]["driver"]["rules"][0]["help"]["text"].toString().contains(
        QLatin1String("every post was read")));

    const QJsonObject audited =
        QJsonDocument::fromJson(
            report({"--format", "sarif", "--checks", "missing-id", auditExport_}).out.toUtf8())
            .object()
            .value("runs")
            .toArray()
            .at(0)
            .toObject();
    QCOMPARE(audited.value("results").toArray().at(0).toObject().value("ruleId").toString(),
             QStringLiteral("missing-id"));
    const QJsonObject rule =
        audited.value("tool").toObject().value("driver").toObject().value("rules")[0].toObject();
    QCOMPARE(rule.value("id").toString(), QStringLiteral("missing-id"));
    QCOMPARE(rule.value("defaultConfiguration").toObject().value("level").toString(),
             QStringLiteral("error"));
    QVERIFY(!rule.value("help").toObject().value("text").toString().isEmpty());
}

void ReportTest::tablesWrittenToFiles()
{
    const QString errors = fixture_.path("errors.txt");
    const QString links = fixture_.path("links.txt");
    QCOMPARE(report({"--errors", errors, "--links", links, mixedExport_}).exitCode, 1);

    QFile errorFile(errors);
    QVERIFY(errorFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> errorLines = errorFile.readAll().split('\n');
    // Header, three rows (a line feed in a title is a space), nothing after the last CR LF.
    QCOMPARE(errorLines.size(), 5);
    QCOMPARE(errorLines[0],
             QByteArray("Post Title\tContent\tError Code\tReason\tLine\tPos\tSource\tNarrowed\r"));
    QCOMPARE(errorLines[1], QByteArray("Good\t\t0\t\t0\t0\t\t\r"));
    QVERIFY(errorLines[2].startsWith("Bad entity\t\t26\tEntity 'nbsp' not defined\t1\t53\t<?xml"));
    QVERIFY(errorLines[2].endsWith("</dummy>\tmy>x&nbsp;y</dummy>\r"));
    QVERIFY(errorLines[3].startsWith("Bad break\t\t76\t"));

    QFile linkFile(links);
    QVERIFY(linkFile.open(QIODevice::ReadOnly));
    QCOMPARE(linkFile.readAll(),
             QByteArray("Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));

    // The inventory implies the audit, and lists each URL where it stands, also when the text
    // report names no place.
    const QString urls = fixture_.path("urls.txt");
    QCOMPARE(report({"--quiet", "--urls", urls, auditExport_}).exitCode, 1);
    QFile urlFile(urls);
    QVERIFY(urlFile.open(QIODevice::ReadOnly));
    QCOMPARE(urlFile.readAll(),
             QByteArray("\xEF\xBB\xBFPost Title\tPost ID\tPost Type\tStatus\tElement\tAttribute"
                        "\tURL\tResolved\tClass\tHost\tLine\tColumn\r\nPics\t4\t\t\timg\tsrc\t"
                        "/wp-content/uploads/a.jpg\thttps://site.example/wp-content/uploads/a.jpg"
                        "\tcurrent\tsite.example\t7\t52\r\n"));
}

// The streamed files against the window's Export of the same run: link columns that appear in
// later posts, more names than columns, an attribute named like a fixed column, cut cells, in
// either encoding.
void ReportTest::tablesMatchTheWindowsExport()
{
    QStringList manyNames;
    for (int i = 0; i < 25; ++i)
        manyNames.append(QStringLiteral("a%1=\"%1\"").arg(i));
    const QString path = fixture_.write(
        ExportFixture::channelWith(
            {ExportFixture::item("Caf\u00e9 \u2013 one", "<img src=\"x.png\"/>\n<p>open"),
             ExportFixture::item(
                 "Two", "<a href=\"h\">x</a><img alt=\"\u00e9t\u00e9&#9;&#10;\" src=\"y\"/>"),
             ExportFixture::item("\u8a9e", "<a Post Title=\"t\" title=\"z\">y</a>"),
             ExportFixture::item("Many", "<img " + manyNames.join(' ') + "/>"),
             ExportFixture::item("Last", "x&y <img src='z'/>")}),
        QStringLiteral("columns.xml"));
    ResultTables tables;
    runAnalysis(path, tables, AnalysisOptions());
    for (const auto& [name, encoding] :
         {std::pair{"latin1", TextEncoding::Latin1}, std::pair{"utf-8", TextEncoding::Utf8}}) {
        const QString errors = fixture_.path(QStringLiteral("columns-errors-%1.txt").arg(name));
        const QString links = fixture_.path(QStringLiteral("columns-links-%1.txt").arg(name));
        report({"--encoding", name, "--errors", errors, "--links", links, path});
        for (const auto& [file, extent] :
             {std::pair{errors,
                        TableExtent{tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount}},
              std::pair{links, TableExtent{tables.linkTable, tables.linkLastColumn,
                                           tables.linkRowCount}}}) {
            QBuffer expected;
            QVERIFY(expected.open(QIODevice::WriteOnly) &&
                    writeTabDelimited(expected, extent, encoding));
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), expected.data());
        }
    }
}

void ReportTest::tableOnStandardOutput()
{
    const Run run = report({"--links", "-", mixedExport_});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out,
             QStringLiteral("Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));
    QVERIFY(run.err.endsWith(QLatin1String("3 items, 2 not well-formed, 1 link rows\n")));
    const QString utf8 = fixture_.path("links-utf8.txt");
    QCOMPARE(report({"--encoding", "utf-8", "--links", utf8, mixedExport_}).exitCode, 1);
    QFile file(utf8);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("\xEF\xBB\xBFPost Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));
}

void ReportTest::noItemsStillWritesHeaders()
{
    const QString errors = fixture_.path("empty-errors.txt");
    const QString links = fixture_.path("empty-links.txt");
    const Run run = report({"--errors", errors, "--links", links, noItemsExport_});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QStringLiteral("0 items, 0 not well-formed, 0 link rows\n"));
    QFile errorFile(errors);
    QVERIFY(errorFile.open(QIODevice::ReadOnly));
    QCOMPARE(
        errorFile.readAll(),
        QByteArray("Post Title\tContent\tError Code\tReason\tLine\tPos\tSource\tNarrowed\r\n"));
    QFile linkFile(links);
    QVERIFY(linkFile.open(QIODevice::ReadOnly));
    QCOMPARE(linkFile.readAll(), QByteArray("Post Title\tContent\r\n"));
}

void ReportTest::unwritableOutput()
{
    const QString target = fixture_.path("no-such-folder/errors.txt");
    const Run run = report({"--errors", target, mixedExport_});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(target), qPrintable(run.err));
    QVERIFY(!QFile::exists(target));
}

void ReportTest::outputPaths_data()
{
    // Paths are relative to a folder of the row's own that holds a copy of the export.
    QTest::addColumn<QStringList>("links"); // "NAME": to the export, "NAME TARGET": to TARGET
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorText");
    // Standard output after the line it already held, or when "pipe:" starts it, standard output
    // as a pipe.
    QTest::addColumn<QByteArray>("output");

    const QString exportFile = QStringLiteral("export.xml");
    const QString refused = QStringLiteral("is the export being checked, export.xml");
    const QString shared = QStringLiteral("are one file");
    const QByteArray errorHeader = "Post Title\tContent\tError Code\tReason\t";
    QTest::newRow("the export itself")
        << QStringList() << false << QStringList{"--errors", exportFile, exportFile} << 2 << refused
        << QByteArray();
    QTest::newRow("symbolic link to the export")
        << QStringList{"l.xml"} << false << QStringList{"--links", "l.xml", exportFile} << 2
        << refused << QByteArray();
    QTest::newRow("hard link to the export")
        << QStringList{"h.xml"} << true << QStringList{"--errors", "h.xml", exportFile} << 2
        << QStringLiteral("--errors h.xml is the export") << QByteArray();
    QTest::newRow("one new file twice")
        << QStringList() << false
        << QStringList{"--errors", "t.txt", "--links", "../row/t.txt", exportFile} << 2 << shared
        << QByteArray();
    QTest::newRow("new file and a dangling link to it")
        << QStringList{"d.txt t.txt"} << false
        << QStringList{"--errors", "t.txt", "--links", "d.txt", exportFile} << 2 << shared
        << QByteArray();
    QTest::newRow("standard output twice")
        << QStringList() << false
        << QStringList{"--errors", "-", "--links", "/dev/stdout", exportFile} << 2 << shared
        << QByteArray();
    QTest::newRow("/dev/stdout appended")
        << QStringList() << false << QStringList{"--errors", "/dev/stdout", exportFile} << 1
        << QStringLiteral("3 items") << errorHeader;
    QTest::newRow("/proc/self/fd/1 appended")
        << QStringList() << false << QStringList{"--links", "/proc/self/fd/1", exportFile} << 1
        << QStringLiteral("3 items")
        << QByteArray("Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n");
    QTest::newRow("/dev/stdout a pipe")
        << QStringList() << false << QStringList{"--links", "/dev/stdout", exportFile} << 1
        << QStringLiteral("3 items")
        << QByteArray("pipe:Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n");
    QTest::newRow("standard error")
        << QStringList() << false << QStringList{"--errors", "/dev/stderr", exportFile} << 1
        << QStringLiteral("Post Title\tContent\tError Code")
        << QByteArray("export.xml:7:65: error: Entity 'nbsp' not defined [Bad entity]\n");
}

// No output ever replaces the export or another output, and a stream opened for appending keeps
// what it held.
void ReportTest::outputPaths()
{
    QFETCH(QStringList, links);
    QFETCH(bool, hardLink);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, errorText);
    QFETCH(QByteArray, output);

    QTemporaryDir dir;
    const QString row = dir.filePath(QStringLiteral("row"));
    QVERIFY(QDir().mkpath(row));
    QFile source(mixedExport_);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray exportBytes = source.readAll();
    QVERIFY(QFile::copy(mixedExport_, row + QStringLiteral("/export.xml")));
    for (const QString& link : links) {
        const QStringList parts = link.split(u' ');
        const QByteArray name = QFile::encodeName(row + u'/' + parts.first());
        const QByteArray target = QFile::encodeName(parts.value(1, QStringLiteral("export.xml")));
        if (hardLink)
            QCOMPARE(::link(QFile::encodeName(row + QStringLiteral("/export.xml")), name), 0);
        else
            QCOMPARE(::symlink(target.constData(), name.constData()), 0);
    }
    const QString log = dir.filePath(QStringLiteral("ci.log"));
    QFile earlier(log);
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier line\n") == 13);
    earlier.close();

    QProcess process;
    process.setWorkingDirectory(row);
    const bool pipe = output.startsWith("pipe:");
    if (!pipe)
        process.setStandardOutputFile(log, QIODevice::Append);
    process.start(QStringLiteral(POSTLINT_BIN_DIR "/postlint-report"), arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(errors.contains(errorText), qPrintable(errors));
    if (pipe)
        QCOMPARE(process.readAllStandardOutput(), output.mid(5));

    QFile exportAfter(row + QStringLiteral("/export.xml"));
    QVERIFY(exportAfter.open(QIODevice::ReadOnly));
    QCOMPARE(exportAfter.readAll(), exportBytes);
    QVERIFY(!QFileInfo::exists(row + QStringLiteral("/t.txt")));
    QFile logAfter(log);
    QVERIFY(logAfter.open(QIODevice::ReadOnly));
    const QByteArray logged = logAfter.readAll();
    QVERIFY2(logged.startsWith("earlier line\n" + (pipe ? QByteArray() : output)),
             logged.left(200).constData());
}

void ReportTest::shellRedirections_data()
{
    // $0 is the report, $1 the export with faults.
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QByteArray>("written"); // a file name, as bytes, that must exist afterwards

    QTest::newRow("standard output full")
        << QStringLiteral("\"$0\" \"$1\" >/dev/full") << 3
        << QStringLiteral("cannot write to standard output: No space left on device")
        << QByteArray();
    QTest::newRow("table to a full standard output")
        << QStringLiteral("\"$0\" --quiet --errors - \"$1\" >/dev/full") << 3
        << QStringLiteral("cannot write to standard output") << QByteArray();
    QTest::newRow("names that are not UTF-8")
        << QStringLiteral("cp \"$1\" \"$(printf 'in\\377.xml')\" && \"$0\" --quiet --errors "
                          "\"$(printf 'out\\351.txt')\" \"$(printf 'in\\377.xml')\"")
        << 1 << QString() << QByteArray("out\xe9.txt");
    // Such a name comes out as its bytes in every line, and percent-encoded as a SARIF address.
    QTest::newRow("fault lines and SARIF of a name that is not UTF-8")
        << QStringLiteral(
               "n=\"$(printf 'in\\377.xml')\"; cp \"$1\" \"$n\" && \"$0\" \"$n\" | grep -q "
               "\"^$n:7:65: \" && \"$0\" --format sarif \"$n\" | grep -q 'in%FF.xml\"'")
        << 0 << QString() << QByteArray();
    QTest::newRow("fault lines of an export read from a pipe, at no place")
        << QStringLiteral(
               "cat \"$1\" | \"$0\" /dev/stdin | grep -q '^/dev/stdin:0:0: error: Entity'")
        << 0 << QString() << QByteArray();
    QTest::newRow("JSON links without a temporary folder")
        << QStringLiteral("echo x >f; TMPDIR=\"$PWD/f\" \"$0\" --format json --with-links \"$1\"")
        << 3 << QStringLiteral("cannot make a spool file for the link rows in ") << QByteArray();
    // One process allowed to the user (root's is not limited): no thread can be started.
    QTest::newRow("no thread to be had")
        << QStringLiteral("d=$(mktemp -d); chmod 755 \"$d\"; cp \"$1\" \"$d/e.xml\"; chmod 644 "
                          "\"$d/e.xml\"; [ \"$(id -u)\" = 0 ] && s='setpriv --reuid=65534 "
                          "--regid=65534 --clear-groups'; $s prlimit --nproc=1 \"$0\" "
                          "\"$d/e.xml\"; r=$?; rm -rf \"$d\"; exit $r")
        << 3 << QStringLiteral("postlint-report: cannot start a thread to ") << QByteArray();
    // A table is replaced only when every table was written, and never for an export that could
    // not be read; "kept" tells that e.txt still holds what it held.
    const QString kept = QStringLiteral("; s=$?; [ \"$(cat e.txt)\" = keep ] || exit 99; exit $s");
    QTest::newRow("links to a full device, errors kept")
        << QStringLiteral("echo keep >e.txt; { mknod full c 1 7 || ln -s /dev/full full; } "
                          "2>/dev/null; \"$0\" --quiet --errors e.txt --links full \"$1\"") +
               kept
        << 3 << QStringLiteral("e.txt is left as it was") << QByteArray();
#ifndef __SANITIZE_ADDRESS__
    // The sanitizers need descriptors of their own to check a call.
    QTest::newRow("too few descriptors to open the export")
        << QStringLiteral("echo keep >e.txt; (ulimit -n 6; \"$0\" --quiet --errors e.txt "
                          "--links l.txt \"$1\")") +
               kept
        << 2 << QStringLiteral(": Too many open files") << QByteArray();
#endif
    // Killed while writing, the report leaves no hidden file behind, and ends as killed.
    QTest::newRow("terminated while writing")
        << QStringLiteral(
               "{ printf '<rss xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">"
               "<channel>'; yes '<item><title>t</title><content:encoded>"
               "&lt;p&gt;a&lt;/p&gt;</content:encoded></item>' | head -n 300000; "
               "printf '</channel></rss>'; } >big.xml; \"$0\" --quiet --errors e.txt "
               "--links l.txt big.xml & sleep 0.5; kill -TERM $!; wait $!; s=$?; "
               "ls -A | grep -q postlint && exit 99; exit $s")
        << 128 + SIGTERM << QString() << QByteArray();
}

void ReportTest::shellRedirections()
{
    QFETCH(QString, command);
    QFETCH(int, exitCode);
    QFETCH(QString, errorText);
    QFETCH(QByteArray, written);
    QTemporaryDir dir;
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), command,
                   QStringLiteral(POSTLINT_BIN_DIR "/postlint-report"), mixedExport_});
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(errors.contains(errorText), qPrintable(errors));
    if (!written.isEmpty())
        QVERIFY(::access((QFile::encodeName(dir.path()) + '/' + written).constData(), F_OK) == 0);
    // Qt itself cannot name such files to remove them.
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir.path()});
}

QTEST_GUILESS_MAIN(ReportTest)
#include "tst_report.moc"
