#include "formdriver.h"

#include "analysis/analysisrun.h"
#include "analysis/libxmlinit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const QStringList errorHeaders{"Post Title", "Content", "Error Code", "Reason",
                               "Line",       "Pos",     "Source",     "Narrowed"};
const QString garden = testData(QStringLiteral("garden.xml"));
const QString oneLink = testData(QStringLiteral("one-link.xml"));

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
};

void Form1ResultsTest::endToEnd()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(garden);

    // The first run shows the links view, the option selected at start.
    QCOMPARE(driver.textOf("TextPath"), garden);
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
    QCOMPARE(widths, (QList<int>{133, 133, 80, 67, 33, 33, 67, 87}));
    QCOMPARE(driver.column(0), (QStringList{"beans", "Apples", "Café – menu", "carrots"}));
    QCOMPARE(driver.panel("Label").at(7), QStringLiteral("Narrowed:"));

    driver.clickRow(1);
    QCOMPARE(driver.panel("Text"),
             (QStringList{"Apples", "<p>An apple\na day<br></p>", "76",
                          "Opening and ending tag mismatch: br line 2 and p", "2", "14",
                          "a day<br></p></dummy>", "ay<br></p></dummy>"}));

    // First click sorts descending, case ignored; the next ascending.
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"carrots", "Café – menu", "beans", "Apples"}));
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"Apples", "beans", "Café – menu", "carrots"}));

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
    driver.clickHeader(3); // Reason, twice: ascending
    driver.clickHeader(3);
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
    driver.clickHeader(0); // carrots moves to the top, still selected and shown
    QCOMPARE(driver.selectedTitle(), QStringLiteral("carrots"));
    QCOMPARE(driver.textOf("Text1"), QStringLiteral("carrots"));

    driver.list()->setFocus();
    QTest::keyClick(driver.list(), Qt::Key_Down);
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
               QByteArray("line of a long post\n").repeated(3000) +
               "</p>]]></content:encoded></item></channel></rss>");
    file.close();

    FormDriver driver;
    driver.run(file.fileName());
    driver.click("OptionErrors");
    const QString cell = driver.column(1).constFirst();
    QVERIFY(cell.size() > 32767 && cell.contains(u'\n'));
    QCOMPARE(driver.textOf("Text2"), cell);
}

void Form1ResultsTest::everyExportFailureIsReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << "no such folder/out.txt"
                                    << ": ";
    QTest::newRow("existing folder") << "kept"
                                     << ": ";
    QTest::newRow("read-only file") << "kept/open elsewhere.txt"
                                    << ". Perhaps it is open.";
    QTest::newRow("the export being checked") << "garden.xml"
                                              << ": it is the export being checked, ";
    QTest::newRow("a link to the export") << "kept/link.xml"
                                          << ": it is the export being checked, ";
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

QTEST_MAIN(Form1ResultsTest)
#include "tst_form1results.moc"
