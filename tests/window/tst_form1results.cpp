#include "formdriver.h"

#include "exportfixture.h"

#include "analysis/analysisrun.h"
#include "analysis/libxmlinit.h"
#include "window/longtextview.h"
#include "window/rowview.h"
#include "window/textcells.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

namespace {

const QStringList errorHeaders{"Post Title", "Content", "Error Code", "Reason",
                               "Line",       "Pos",     "Source",     "Narrowed"};
const QString garden = testData(QStringLiteral("garden.xml"));
const QString oneLink = testData(QStringLiteral("one-link.xml"));
const QString audited = testData(QStringLiteral("audit.xml"));

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("no such file");
}

} // namespace

class Form1ResultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { libxml::initialize(); }
    void endToEnd();
    void runsReplaceOrKeepResults();
    void sortSurvivesFillsAndKeepsFirstRowSelected();
    void panelFollowsSelectionNotSorting();
    void panelHoldsLongCellsWhole();
    void everyExportFailureIsReported_data();
    void everyExportFailureIsReported();
    void findAndFaultsOnlyFollowSortPanelAndExport();
    void numbersSortAsNumbers();
    void findingsViewListsSortsAndExports();
    void copyPutsWholeRowsOnTheClipboard();
    void rowViewShowsTheWholeRow();
    void cellsFollowTheWidthOfCharacters_data();
    void cellsFollowTheWidthOfCharacters();
    void cancelKeepsFinishedRows_data();
    void cancelKeepsFinishedRows();
    void startsFromTheCommandLine();
};

void Form1ResultsTest::endToEnd()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);

    // The first run shows the links view, the option selected at start.
    QCOMPARE(driver.textOf("TextPath"), garden);
    QCOMPARE(
        driver.form->windowTitle(),
        QStringLiteral("garden.xml — 4 posts, 2 not well-formed, 2 links, 0 findings — Postlint"));
    QVERIFY(driver.control("OptionLinks")->isEnabled() &&
            driver.control("OptionErrors")->isEnabled());
    QCOMPARE(driver.headers(),
             (QStringList{"Post Title", "Content", "href", "title", "src", "alt", "width"}));
    QCOMPARE(driver.column(0), (QStringList{"beans", "Café – menu"}));
    QCOMPARE(
        driver.panel("Label"),
        (QStringList{"Post Title:", "Content:", "href:", "title:", "src:", "alt:", "width:", ":"}));
    QCOMPARE(driver.textOf("Text3"), QStringLiteral("https://example.com/poles"));

    driver.click("OptionErrors");
    QVERIFY(!driver.control<QRadioButton>("OptionLinks")->isChecked());
    QCOMPARE(driver.headers(), errorHeaders);
    QList<int> widths;
    for (int column = 0; column < 8; ++column)
        widths.append(driver.list()->columnWidth(column));
    // The design's widths where the values fit; the Reason column grows for "Entity 'copy' not
    // defined" (a cell's text keeps a margin of 3 px a side), not for a message too long to show.
    const QFontMetrics metrics = driver.list()->fontMetrics();
    QCOMPARE(widths.mid(0, 3) + widths.mid(4, 2), (QList<int>{133, 133, 80, 33, 33}));
    QVERIFY(widths[3] >= metrics.horizontalAdvance("Entity 'copy' not defined") + 6 &&
            widths[3] <
                metrics.horizontalAdvance("Opening and ending tag mismatch: br line 2 and p"));
    QCOMPARE(driver.column(0), (QStringList{"beans", "Apples", "Café – menu", "carrots"}));
    QCOMPARE(driver.panel("Label").at(7), QStringLiteral("Narrowed:"));

    driver.clickRow(1);
    QCOMPARE(driver.panel("Text"),
             (QStringList{"Apples", "<p>An apple\na day<br></p>", "76",
                          "Opening and ending tag mismatch: br line 2 and p", "2", "14",
                          "a day<br></p></dummy>", "ay<br></p></dummy>"}));

    // First click sorts ascending, case ignored; the next descending.
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"Apples", "beans", "Café – menu", "carrots"}));
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"carrots", "Café – menu", "beans", "Apples"}));

    // The file holds the table in table order, whatever the list's order.
    QTemporaryDir out;
    driver.exportTo(out.filePath(QStringLiteral("errors.txt")));
    QCOMPARE(driver.dialogs->saveFolders, QStringList{QFileInfo(garden).absolutePath()});
    QCOMPARE(driver.dialogs->messages, QStringList{"Complete."});
    QCOMPARE(fileBytes(out.filePath("errors.txt")), fileBytes(testData("garden-errors.txt")));

    // The eighth box must not keep the error row's cell: this link table has seven columns.
    driver.click("OptionLinks");
    QCOMPARE(driver.textOf("Label8"), QStringLiteral(":"));
    QCOMPARE(driver.textOf("Text8"), QString());
    driver.exportTo(out.filePath(QStringLiteral("links"))); // written under exactly that name
    QCOMPARE(driver.dialogs->messages, (QStringList{"Complete.", "Complete."}));
    QCOMPARE(fileBytes(out.filePath("links")), fileBytes(testData("garden-links.txt")));

    driver.exportTo(QString()); // cancelled: nothing written, nothing said
    QCOMPARE(driver.dialogs->messages.size(), 2);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2);
}

void Form1ResultsTest::runsReplaceOrKeepResults()
{
    FormDriver driver;
    driver.run(testData(QStringLiteral("not-an-export.xml")));
    QCOMPARE(driver.dialogs->messages,
             QStringList{noItemsMessage + "\n\nLine 1, column 1: Document is empty"});
    // The reason stays in the title once the message is closed.
    QVERIFY(driver.form->windowTitle().startsWith("not-an-export.xml — no WordPress items: Line 1, "
                                                  "column 1: Document is empty — 0 posts, "));
    const QString gone = QDir::temp().filePath(QStringLiteral("gone/gone.xml"));
    driver.form->checkExport(gone);
    QCOMPARE(driver.dialogs->messages.constLast(),
             noItemsMessage + "\n\n" + gone + ": file not found");
    QCOMPARE(
        driver.form->windowTitle(),
        "gone.xml — file not found — 0 posts, 0 not well-formed, 0 links, 0 findings — Postlint");
    QVERIFY(driver.control("OptionErrors")->isEnabled() &&
            driver.control("OptionLinks")->isEnabled());
    QCOMPARE(driver.headers(), (QStringList{"Post Title", "Content"}));
    QCOMPARE(driver.column(0), QStringList());
    driver.click("OptionErrors");
    QCOMPARE(driver.headers(), errorHeaders);
    QCOMPARE(driver.panel("Text"), QStringList(8));
    driver.click("CommandExport");
    QCOMPARE(driver.dialogs->messages.constLast(), QStringLiteral("Nothing to export."));

    // A wrapper that is no element name is refused before the open dialog, and kept to correct.
    driver.control<QLineEdit>("TextDummy")->setText(QStringLiteral("not a name"));
    const qsizetype dialogsShown = driver.dialogs->openFolders.size();
    driver.click("CommandPath");
    QVERIFY(driver.dialogs->messages.constLast().startsWith(
        "The Dummy XML Tag must be an XML element name without a colon: "));
    QCOMPARE(driver.dialogs->openFolders.size(), dialogsShown);
    QCOMPARE(driver.textOf("TextDummy"), QStringLiteral("not a name"));
    driver.control<QLineEdit>("TextDummy")->setText(QStringLiteral("wrap"));
    driver.run(garden);
    QCOMPARE(driver.column(2).count(QStringLiteral("0")), 2);
    QCOMPARE(driver.column(7).at(1), QStringLiteral("ay<br></p></wrap>"));

    driver.run(oneLink);
    QCOMPARE(driver.column(0), QStringList{"Only a link"});
    driver.click("OptionLinks");
    QCOMPARE(driver.headers(), (QStringList{"Post Title", "Content", "href"}));
    QHeaderView* header = driver.list()->header();
    QCOMPARE(header->sectionViewportPosition(2) + header->sectionSize(2),
             driver.list()->viewport()->width()); // the last column reaches the edge
    QCOMPARE(driver.panel("Label").mid(2), (QStringList{"href:", ":", ":", ":", ":", ":"}));
    QCOMPARE(driver.panel("Text").mid(2),
             (QStringList{"https://example.com/", "", "", "", "", ""}));

    // Faults read through in the export: one message for the run, then the posts as usual.
    QTemporaryDir dir;
    QFile faulty(dir.filePath(QStringLiteral("faulty.xml")));
    QVERIFY(faulty.open(QIODevice::WriteOnly));
    faulty.write(fileBytes(oneLink).replace("Only a link", "Only\x01 a link\x02\x03\x04\x05\x06"
                                                           "\x07\x08\x0B\x0C\x0E\x0F"));
    faulty.close();
    driver.dialogs->messages.clear();
    driver.run(faulty.fileName());
    QCOMPARE(driver.dialogs->messages.size(), 1);
    const QStringList lines = driver.dialogs->messages.constFirst().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 1 + 1 + 10 + 2);
    QCOMPARE(lines.constFirst(),
             QStringLiteral("The export file has 12 faults; the posts were checked as usual:"));
    QVERIFY2(lines.at(2).endsWith(QStringLiteral(": PCDATA invalid Char value 1 (in \"Only a "
                                                 "link\")")),
             qPrintable(lines.at(2)));
    QCOMPARE(lines.constLast(), QStringLiteral("and 2 more."));
    QCOMPARE(driver.column(0), QStringList{"Only a link"});

    // A cancelled dialog empties the path and keeps everything else.
    const QStringList panel = driver.panel("Text");
    driver.run(QString());
    QCOMPARE(driver.textOf("TextPath"), QString());
    QCOMPARE(driver.column(0), QStringList{"Only a link"});
    QCOMPARE(driver.panel("Text"), panel);
}

void Form1ResultsTest::sortSurvivesFillsAndKeepsFirstRowSelected()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);
    driver.click("OptionErrors");
    driver.clickHeader(3); // Reason, ascending
    QCOMPARE(driver.column(0), (QStringList{"beans", "Café – menu", "carrots", "Apples"}));

    // The links view is sorted by its own column 3, title, in the same order; the item made from
    // table row 1 is selected although the sort has moved it down, and a new run does the same.
    driver.click("OptionLinks");
    QCOMPARE(driver.column(0), (QStringList{"Café – menu", "beans"}));
    QCOMPARE(driver.selectedTitle(), QStringLiteral("beans"));
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("beans"));
    driver.run(garden);
    QCOMPARE(driver.column(0), (QStringList{"Café – menu", "beans"}));
    QCOMPARE(driver.selectedTitle(), QStringLiteral("beans"));

    // Every click flips the order, whichever column; numbers sort as text.
    driver.click("OptionErrors");
    driver.clickHeader(4);
    QCOMPARE(driver.column(4), (QStringList{"2", "1", "0", "0"}));
    driver.clickHeader(5);
    QCOMPARE(driver.column(5), (QStringList{"0", "0", "14", "69"}));
}

void Form1ResultsTest::panelFollowsSelectionNotSorting()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);
    driver.click("OptionErrors");
    driver.clickRow(3);
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("carrots"));
    driver.clickHeader(0); // carrots moves to the bottom, still selected and shown
    QCOMPARE(driver.selectedTitle(), QStringLiteral("carrots"));
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("carrots"));

    driver.list()->setFocus();
    QTest::keyClick(driver.list(), Qt::Key_Up);
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("Café – menu"));
}

void Form1ResultsTest::panelHoldsLongCellsWhole()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("long.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<rss "
               "xmlns:content=\"http://purl.org/rss/1.0/modules/content/"
               "\"><channel><item><title>Long</title>"
               "<content:encoded><![CDATA[<p>" +
               QByteArray("line of a long post\n").repeated(6000) +
               "</p>]]></content:encoded></item></channel></rss>");
    file.close();

    FormDriver driver;
    driver.run(file.fileName());
    driver.click("OptionErrors");
    const QString cell = driver.column(1).constFirst();
    QVERIFY(cell.size() > 40000 && cell.contains(u'\n'));
    // Whole up to 40 000 characters, beyond QLineEdit's default cut at 32767; the rest is in the
    // row view.
    QCOMPARE(driver.textOf("Text2"), cell.left(40000) +
                                         " … [cut here: double-click the row or press Enter to "
                                         "read it whole]");
}

void Form1ResultsTest::everyExportFailureIsReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    // What the user does between the check and the export: "cancel" leaves the path box empty,
    // "refused drop" fills it with a file the refused dummy tag kept from being checked, "second"
    // checks another export, whose results are then on show.
    QTest::addColumn<QString>("meanwhile");
    const QString theExport = QStringLiteral(": it is the export being checked, ");
    QTest::newRow("missing folder") << "no such folder/out.txt"
                                    << ": "
                                    << "";
    QTest::newRow("existing folder") << "kept"
                                     << ": "
                                     << "";
    QTest::newRow("read-only file") << "kept/open elsewhere.txt"
                                    << ". Perhaps it is open."
                                    << "";
    QTest::newRow("the export being checked") << "garden.xml" << theExport << "";
    QTest::newRow("a link to the export") << "kept/link.xml" << theExport << "";
    QTest::newRow("the export after a cancelled open") << "garden.xml" << theExport << "cancel";
    QTest::newRow("the export after a refused drop") << "garden.xml" << theExport << "refused drop";
    QTest::newRow("an export checked earlier") << "garden.xml" << theExport << "second";
}

void Form1ResultsTest::everyExportFailureIsReported()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("kept")));
    QFile kept(dir.filePath(QStringLiteral("kept/open elsewhere.txt")));
    QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("keep me") == 7);
    kept.close();
    QVERIFY(kept.setPermissions(QFileDevice::ReadOwner));
    if (message.startsWith(QLatin1String(". Perhaps")) && ::geteuid() == 0)
        QSKIP("file permissions do not bind the superuser");

    const QString analysed = dir.filePath(QStringLiteral("garden.xml"));
    QVERIFY(QFile::copy(garden, analysed));
    QVERIFY(QFile::link(analysed, dir.filePath(QStringLiteral("kept/link.xml"))));

    FormDriver driver;
    driver.run(analysed);
    QFETCH(QString, meanwhile);
    const QString second = dir.filePath(QStringLiteral("second.xml"));
    QVERIFY(QFile::copy(garden, second));
    if (meanwhile == QLatin1String("cancel")) {
        driver.run(QString());
        QVERIFY(driver.textOf("TextPath").isEmpty());
    } else if (meanwhile == QLatin1String("refused drop")) {
        driver.control<QLineEdit>(QStringLiteral("TextDummy"))->setText(QStringLiteral("a:b"));
        driver.form->checkExport(second);
        driver.control<QLineEdit>(QStringLiteral("TextDummy"))->setText(QStringLiteral("dummy"));
        driver.dialogs->messages.clear();
    } else if (meanwhile == QLatin1String("second")) {
        driver.run(second);
    }
    const QString path = dir.filePath(name);
    driver.exportTo(path);
    QCOMPARE(driver.dialogs->messages.size(), 1);
    QVERIFY2(driver.dialogs->messages.constFirst().startsWith("Can not write to " + path + message),
             qPrintable(driver.dialogs->messages.constFirst()));
    QVERIFY(driver.dialogs->messages.constFirst().size() >
            QString("Can not write to " + path + ": ").size());
    QCOMPARE(fileBytes(kept.fileName()), QByteArray("keep me"));
    QCOMPARE(fileBytes(analysed), fileBytes(garden));
}

void Form1ResultsTest::findAndFaultsOnlyFollowSortPanelAndExport()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);
    driver.click("OptionErrors");
    const QRect listAlone = driver.list()->geometry();

    QTest::keyClick(driver.list(), Qt::Key_F, Qt::ControlModifier);
    auto* find = driver.control<QLineEdit>("FindText");
    QVERIFY(find->isVisible() && find->hasFocus());
    QTest::keyClicks(find, "CA"); // case ignored; "cafe.png" is in the body, not the title
    QTRY_COMPARE(driver.column(0), (QStringList{"Café – menu", "carrots"}));
    QCOMPARE(driver.textOf("FindCount"), QStringLiteral("2 of 4 rows"));
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("Café – menu"));

    driver.control<QCheckBox>("FaultsOnly")->click();
    QTRY_COMPARE(driver.column(0), QStringList{"carrots"});
    find->clear();
    QTRY_COMPARE(driver.column(0), (QStringList{"Apples", "carrots"}));
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"Apples", "carrots"}));

    // The file holds the rows shown, in the order shown.
    QTemporaryDir out;
    driver.exportTo(out.filePath(QStringLiteral("faults.txt")));
    const QList<QByteArray> lines = fileBytes(out.filePath("faults.txt")).split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[1].startsWith("Apples\t\t76\t") && lines[2].startsWith("carrots\t\t26\t"));

    // Faults only means nothing to the links view.
    driver.click("OptionLinks");
    QVERIFY(!driver.control("FaultsOnly")->isEnabled());
    QCOMPARE(driver.column(0).size(), 2);

    // Esc closes the bar: every row again, the list in its place, the panel on the current row.
    driver.click("OptionErrors");
    driver.clickRow(1);
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QCOMPARE(driver.column(0).size(), 4);
    QCOMPARE(driver.list()->geometry(), listAlone);
    QCOMPARE(driver.textOf("Text1"), driver.list()->currentIndex().data().toString());
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("carrots"));

    // Alt+O opens the bar when it is closed; typing goes on in the list, or in the find box when
    // that is where it was. Esc in the list closes the bar too.
    auto* faultsOnly = driver.control<QCheckBox>("FaultsOnly");
    QTest::keyClick(driver.list(), Qt::Key_O, Qt::AltModifier);
    QTRY_COMPARE(driver.column(0), (QStringList{"Apples", "carrots"}));
    QVERIFY(faultsOnly->isVisible() && faultsOnly->isChecked() && driver.list()->hasFocus());
    QTest::keyClick(driver.list(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(find, Qt::Key_O, Qt::AltModifier);
    QTest::keyClicks(find, "ca");
    QTRY_COMPARE(driver.column(0), (QStringList{"Café – menu", "carrots"}));
    QVERIFY(!faultsOnly->isChecked() && find->hasFocus() && find->text() == u"ca");
    driver.clickRow(0);
    QTest::keyClick(driver.list(), Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("Café – menu"));
}

void Form1ResultsTest::numbersSortAsNumbers()
{
    ExportFixture fixture;
    QStringList items;
    for (const auto& [title, line] : QList<std::pair<QString, int>>{
             {"ten thousand", 10000}, {"nine", 9}, {"two", 2}, {"fine", 0}})
        items.append(ExportFixture::item(title, line == 0 ? QStringLiteral("<p/>")
                                                          : QString(line - 1, u'\n') + "<br>"));
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(fixture.write(ExportFixture::channelWith(items)));
    driver.click("OptionErrors");
    driver.clickHeader(4);
    QCOMPARE(driver.column(4), (QStringList{"0", "2", "9", "10000"}));
    QVERIFY(driver.list()->columnWidth(4) >=
            driver.list()->fontMetrics().horizontalAdvance("10000") + 6); // shown whole
    driver.clickHeader(4);
    QCOMPARE(driver.column(0), (QStringList{"ten thousand", "nine", "two", "fine"}));
    driver.clickHeader(0); // titles still sort as text
    QCOMPARE(driver.column(0), (QStringList{"fine", "nine", "ten thousand", "two"}));
}

void Form1ResultsTest::findingsViewListsSortsAndExports()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(audited);
    driver.click("OptionFindings");
    QVERIFY(!driver.control<QRadioButton>("OptionLinks")->isChecked() &&
            !driver.control("FaultsOnly")->isEnabled());
    QCOMPARE(driver.headers(), (QStringList{"Post Title", "Content", "Check", "Severity", "Subject",
                                            "Line", "Column", "Detail"}));
    QCOMPARE(
        driver.form->windowTitle(),
        QStringLiteral("audit.xml — 2 posts, 1 not well-formed, 1 link, 6 findings — Postlint"));
    // A link decided once the whole export is read still shows its own post's body, though the
    // next post has the same ID.
    QCOMPARE(driver.column(2), (QStringList{"missing-alt", "insecure-resource", "shortcode",
                                            "script-url", "missing-post", "no-attachments"}));
    QVERIFY(driver.column(1).at(4).startsWith("<p>Raised beds</p>"));
    QCOMPARE(driver.column(7).at(4),
             QStringLiteral("no item of the export has the ID 99 (a href)"));
    QCOMPARE(driver.panel("Text").mid(2, 6),
             (QStringList{"missing-alt", "warning", "http://other.example/a.png", "22", "4",
                          "image without an alt attribute (img)"}));
    QVERIFY(driver.textOf("Text2").startsWith("<p>Raised beds</p>"));
    driver.clickRow(0);
    QTest::keyClick(driver.list(), Qt::Key_Return); // the row view marks the finding's place
    QTRY_VERIFY(driver.form->findChild<RowView*>());
    QCOMPARE(driver.form->findChild<RowView*>()->body()->cursorPosition(), 159);
    driver.clickHeader(5);
    // Places in the export, as the report prints them: the export's own finding has none.
    QCOMPARE(driver.column(5), (QStringList{"", "22", "22", "23", "31", "32"}));
    // A body's first line starts past its CDATA section's opening.
    QCOMPARE(driver.column(6).at(4), QStringLiteral("32"));
    driver.clickHeader(5);
    QCOMPARE(driver.column(0), (QStringList{"Paths", "Paths", "Beds", "Beds", "Beds", ""}));

    QTemporaryDir out;
    driver.exportTo(out.filePath(QStringLiteral("findings.txt")));
    const QList<QByteArray> lines = fileBytes(out.filePath("findings.txt")).split('\n');
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[0], "Post Title\tContent\tCheck\tSeverity\tSubject\tLine\tColumn\tDetail\r");
    QCOMPARE(lines[1], "Beds\t\tmissing-alt\twarning\thttp://other.example/a.png\t22\t4\timage "
                       "without an alt attribute (img)\r");

    // The summary opens from the window; a named site address counts from the next check on.
    driver.form->findChild<QAction*>("AuditSummaryAction")->trigger();
    auto* summary = driver.form->findChild<QPlainTextEdit*>("SummaryText");
    QVERIFY(summary && summary->isReadOnly());
    // Columns of blanks, whatever the names' lengths: the counts stand under their headings.
    const QStringList summaryLines = summary->toPlainText().split(u'\n');
    const qsizetype errorsAt = summaryLines.constFirst().indexOf(QLatin1String("Errors"));
    const auto missingPost =
        std::find_if(summaryLines.begin(), summaryLines.end(),
                     [](const QString& line) { return line.startsWith(u"  missing-post "); });
    QVERIFY(missingPost != summaryLines.end() && missingPost->mid(errorsAt, 2) == u"1 ");
    QVERIFY(std::any_of(summaryLines.begin(), summaryLines.end(), [](const QString& line) {
        return line.startsWith(u"  gallery ") && line.simplified() == u"gallery 1";
    }));
    driver.dialogs->siteAnswers = {QStringLiteral("garden.example"),
                                   QStringLiteral(" https://other.example ")};
    driver.form->findChild<QAction*>("SiteAddressAction")->trigger();
    QVERIFY(driver.dialogs->messages.constLast().startsWith("The site's address must be"));
    driver.form->findChild<QAction*>("SiteAddressAction")->trigger();
    driver.run(audited);
    QVERIFY(driver.column(7).contains("the current host is other.example (a href)"));
}

void Form1ResultsTest::copyPutsWholeRowsOnTheClipboard()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);
    driver.click("OptionErrors");
    driver.clickRow(3);
    const QRect apples = driver.list()->visualRect(driver.list()->model()->index(1, 0));
    QTest::mouseClick(driver.list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      apples.center());
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("Apples")); // the panel follows the click

    QTest::keyClick(driver.list(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Apples\t<p>An apple a day<br></p>\t76\tOpening and ending tag "
                            "mismatch: br line 2 and p\t2\t14\ta day<br></p></dummy>\tay<br></p>"
                            "</dummy>\n"
                            "carrots\tTops &amp; roots &copy; me\t26\tEntity 'copy' not defined\t1"
                            "\t69\t<?xml version=\"1.0\" encoding=\"UTF-8\"?><dummy>Tops &amp; "
                            "roots &copy; me</dummy>\tots &copy; me</dummy>\n"));

    // Shift+F10, and the Menu key as the window system reports it, open the list's menu at the
    // current row.
    const QRect current = driver.list()->visualRect(driver.list()->currentIndex());
    for (const bool menuKey : {false, true}) {
        driver.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(driver.form.get()));
        driver.list()->setFocus();
        QPoint at;
        QTimer::singleShot(0, driver.form.get(), [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                at = driver.list()->viewport()->mapFromGlobal(menu->pos());
                menu->close();
            }
        });
        QContextMenuEvent fromSystem(QContextMenuEvent::Keyboard, {}, {});
        if (menuKey)
            QCoreApplication::sendEvent(driver.form->windowHandle(), &fromSystem);
        else
            QTest::keyClick(driver.list(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY2(current.contains(at - QPoint(0, 1)), menuKey ? "Menu key" : "Shift+F10");
    }
}

void Form1ResultsTest::rowViewShowsTheWholeRow()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);
    driver.click("OptionErrors");
    driver.clickRow(3);
    QTest::keyClick(driver.list(), Qt::Key_Return);
    auto* view = driver.form->findChild<RowView*>();
    QVERIFY(view && view->isVisible());
    QCOMPARE(view->body()->text(), QStringLiteral("Tops &amp; roots &copy; me"));
    // Line 1, Pos 69 counts the declaration and <dummy>: the fault is right after "&copy".
    QCOMPARE(view->body()->cursorPosition(), 23);
    QVERIFY(view->cells()->text().endsWith("\nNarrowed:\tots &copy; me</dummy>"));
    // Shown from the line's start with lines above it; a long line scrolls the fault into view.
    view->body()->setLongText(QString(60, u'\n') + QStringLiteral("中文中文 &nbsp;") +
                              QString(5000, u'x') + QString(60, u'\n'));
    QVERIFY(view->body()->markPosition(61, 15));
    QCOMPARE(view->body()->verticalScrollBar()->value(), 57);
    QCOMPARE(view->body()->horizontalScrollBar()->value(), 0);
    QVERIFY(view->body()->markPosition(61, 4000));
    QVERIFY(view->body()->horizontalScrollBar()->value() > 0);

    // Selected by mouse across lines, or whole, and copied as it is.
    const QString text = QString(100000, u'x') + QStringLiteral("\nend\n");
    view->body()->setLongText(text);
    QCOMPARE(view->body()->lineCount(), 3);
    QVERIFY(view->body()->markPosition(2, 2));
    QCOMPARE(view->body()->cursorPosition(), 100002);
    QTest::mouseClick(view->body()->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(1000, 2));
    QVERIFY(view->body()->selectedText().endsWith("x\ne"));
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    view->body()->setFocus();
    QTRY_VERIFY(view->body()->hasFocus());
    QTest::keyClick(view->body(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view->body(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
}

void Form1ResultsTest::cellsFollowTheWidthOfCharacters_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("before"); // units of the text ahead of the line
    QTest::addColumn<int>("cells");  // of the whole line

    // Which characters the font draws twice as wide depends on the fonts installed: CJK where a
    // CJK font is, a Tamil letter in DejaVu Sans Mono.
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const auto cellsOf = [&](QChar c) {
        return 2 * metrics.horizontalAdvance(c) > 3 * metrics.horizontalAdvance(u'x') ? 2 : 1;
    };
    const int cjk = cellsOf(u'中');
    QChar wide = u'中';
    for (const QChar c : {u'中', u'\u0B95', u'\uFF21'}) {
        if (cellsOf(c) == 2) {
            wide = c;
            break;
        }
    }
    const QString mixed = QStringLiteral("a") + wide + QString::fromUtf8("😀e\u0301");
    QTest::newRow("ASCII") << QStringLiteral("plain <p> text") << 0 << 14;
    QTest::newRow("CJK") << QString::fromUtf8("中文 x") << 3 << 2 + 2 * cjk;
    QTest::newRow("drawn wide") << QString(3, wide) << 5 << 3 * cellsOf(wide);
    QTest::newRow("emoji, one cell a unit") << QString::fromUtf8("😀 😀") << 1 << 5;
    QTest::newRow("combining mark keeps its cell") << QString::fromUtf8("e\u0301x") << 0 << 3;
    QTest::newRow("long line across blocks")
        << mixed.repeated(1000) << 300 << 1000 * (5 + cellsOf(wide));
}

// Every column of a line has one cell, every cell one column, wherever the line starts.
void Form1ResultsTest::cellsFollowTheWidthOfCharacters()
{
    QFETCH(QString, line);
    QFETCH(int, before);
    QFETCH(int, cells);
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QString text = QString(before, u'\n') + line + u'\n';
    TextCells inText(metrics);
    inText.index(text);
    TextCells alone(metrics);
    alone.index(line);
    const qsizetype end = before + line.size();
    QCOMPARE(inText.cellOf(before, end), cells);
    for (qsizetype at = 0; at < line.size(); ++at) {
        const qsizetype cell = inText.cellOf(before, before + at);
        QCOMPARE(cell, alone.cellOf(0, at));
        const qsizetype width = inText.cellOf(before, before + at + 1) - cell;
        QVERIFY(width == 1 || width == 2);
        QCOMPARE(inText.positionAt(before, end, cell), before + at);
        QCOMPARE(inText.positionAt(before, end, cell + width - 1), before + at);
    }
    QCOMPARE(inText.positionAt(before, end, cells + 10), end);
}

void Form1ResultsTest::cancelKeepsFinishedRows_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("Cancel") << false;
    QTest::newRow("window closed") << true;
}

void Form1ResultsTest::cancelKeepsFinishedRows()
{
    QFETCH(bool, closeWindow);
    ExportFixture fixture;
    QStringList items;
    for (int i = 0; i < 5000; ++i)
        items.append(ExportFixture::item(QString::number(i), QStringLiteral("<p>x</p>")));
    const QString path = fixture.write(ExportFixture::channelWith(items), "many.xml");

    FormDriver driver;
    QVERIFY(driver.show());
    driver.form->setProgressDelay(0);
    // Runs as soon as the run first lets events through.
    QTimer::singleShot(0, driver.form.get(), [&] {
        if (closeWindow)
            driver.form->close();
        else
            driver.form->findChild<QProgressDialog*>()->cancel();
    });
    driver.run(path);

    QCOMPARE(driver.form->isVisible(), !closeWindow);
    if (closeWindow)
        return;
    driver.click("OptionErrors");
    const int rows = int(driver.column(0).size());
    QVERIFY2(rows > 0 && rows < 5000, qPrintable(QString::number(rows)));
    QCOMPARE(driver.column(0).constLast(), QString::number(rows - 1));
    QCOMPARE(driver.form->windowTitle(),
             QStringLiteral("many.xml — check cancelled after %1 posts: 0 not well-formed, 0 "
                            "links, 0 findings — Postlint")
                 .arg(rows));
    QVERIFY(driver.dialogs->messages.isEmpty());
}

void Form1ResultsTest::startsFromTheCommandLine()
{
    const auto postlint = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(POSTLINT_BIN_DIR "/postlint"), arguments);
        process.waitForFinished(30000);
        return std::pair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput() +
                                                               process.readAllStandardError()));
    };
    QCOMPARE(postlint({"--version"}), std::pair(0, QStringLiteral("postlint 0.1.0\n")));
    QVERIFY(postlint({"--help"}).second.contains("[EXPORT.xml]"));
    QCOMPARE(postlint({"-platform", "offscreen", "a.xml", "b.xml"}).first, 2);

    // What `postlint FILE` does once the window is up; the open dialog starts in the program's
    // folder the first time, then in the last one used.
    FormDriver driver;
    driver.form->checkExport(garden);
    QCOMPARE(driver.column(0).size(), 2);
    QVERIFY(driver.form->windowTitle().startsWith("garden.xml — 4 posts"));
    driver.run(QString());
    QCOMPARE(driver.dialogs->openFolders, QStringList{QFileInfo(garden).absolutePath()});
    FormDriver fresh;
    fresh.run(QString());
    QCOMPARE(fresh.dialogs->openFolders, QStringList{QCoreApplication::applicationDirPath()});
}

QTEST_MAIN(Form1ResultsTest)
#include "tst_form1results.moc"
