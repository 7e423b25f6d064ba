#include "formdriver.h"

#include "analysis/analysisrun.h"
#include "analysis/libxmlsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const QStringList errorHeaders{"Post Title", "Content", "Error Code", "Reason",
                               "Line",       "Pos",     "Source",     "Narrowed"};
const QStringList gardenLinkHeaders{"Post Title", "Content", "href", "title",
                                    "src",        "alt",     "width"};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class Form1ResultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { libxml::initialize(); }
    void endToEnd();
    void cancelledOpenKeepsResults();
    void exportWithoutItemsIsReported();
    void newRunReplacesOldResults();
    void dummyTagWrapsTheNextRun();
    void sortSurvivesFillsAndKeepsFirstRowSelected();
    void panelFollowsSelectionNotSorting();
    void panelEmptiesSlotsPastLastColumn();
    void panelHoldsLongCellsWhole();
    void everyExportFailureIsReported_data();
    void everyExportFailureIsReported();
    void refusedExportLeavesFileAsItWas();
};

void Form1ResultsTest::endToEnd()
{
    FormDriver driver;
    QVERIFY(driver.show());
    const QString garden = testData(QStringLiteral("garden.xml"));
    driver.run(garden);

    // The first run shows the links view, the option selected at start.
    QCOMPARE(driver.dialogs->openFolders.size(), 1);
    QCOMPARE(driver.control<QLineEdit>("TextPath")->text(), garden);
    QVERIFY(driver.control("OptionLinks")->isEnabled());
    QVERIFY(driver.control("OptionErrors")->isEnabled());
    QCOMPARE(driver.headers(), gardenLinkHeaders);
    QCOMPARE(driver.column(0), (QStringList{"beans", "Café – menu"}));
    QCOMPARE(
        driver.panelCaptions(),
        (QStringList{"Post Title:", "Content:", "href:", "title:", "src:", "alt:", "width:", ":"}));
    QCOMPARE(driver.text(3)->text(), QStringLiteral("https://example.com/poles"));

    driver.showErrors();
    QVERIFY(!driver.control<QRadioButton>("OptionLinks")->isChecked());
    QCOMPARE(driver.headers(), errorHeaders);
    QList<int> widths;
    for (int column = 0; column < 8; ++column)
        widths.append(driver.list()->columnWidth(column));
    QCOMPARE(widths, (QList<int>{133, 133, 80, 67, 33, 33, 67, 87}));
    QCOMPARE(driver.column(0), (QStringList{"beans", "Apples", "Café – menu", "carrots"}));
    QCOMPARE(driver.panelCaptions(),
             (QStringList{"Post Title:", "Content:", "Error Code:", "Reason:", "Line:", "Pos:",
                          "Source:", "Narrowed:"}));

    driver.clickRow(1);
    QCOMPARE(driver.panelTexts(),
             (QStringList{"Apples", "<p>An apple\na day<br></p>", "76",
                          "Opening and ending tag mismatch: br line 2 and p", "2", "14",
                          "a day<br></p></dummy>", "ay<br></p></dummy>"}));

    // First click sorts descending, case ignored; the next ascending.
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"carrots", "Café – menu", "beans", "Apples"}));
    driver.clickHeader(0);
    QCOMPARE(driver.column(0), (QStringList{"Apples", "beans", "Café – menu", "carrots"}));

    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString errorsFile = out.filePath(QStringLiteral("errors.txt"));
    driver.dialogs->saveAnswers.append(errorsFile);
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->saveFolders.constLast(), QFileInfo(garden).absolutePath());
    QCOMPARE(driver.dialogs->messages, QStringList{"Complete."});
    // Sorting the list does not reorder the file: it holds the table.
    QCOMPARE(fileBytes(errorsFile), fileBytes(testData(QStringLiteral("garden-errors.txt"))));

    driver.showLinks();
    const QString linksFile = out.filePath(QStringLiteral("links"));
    driver.dialogs->saveAnswers.append(linksFile);
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->messages, (QStringList{"Complete.", "Complete."}));
    QCOMPARE(fileBytes(linksFile), fileBytes(testData(QStringLiteral("garden-links.txt"))));

    // Cancelling the save dialog writes nothing and says nothing.
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->messages.size(), 2);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2);
}

void Form1ResultsTest::cancelledOpenKeepsResults()
{
    FormDriver driver;
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.showErrors();
    driver.clickRow(3);
    const QStringList panel = driver.panelTexts();

    driver.run(QString());
    QVERIFY(driver.control<QLineEdit>("TextPath")->text().isEmpty());
    QCOMPARE(driver.column(0).size(), 4);
    QCOMPARE(driver.panelTexts(), panel);
    QVERIFY(driver.control("OptionErrors")->isEnabled());
    QVERIFY(driver.dialogs->messages.isEmpty());
}

void Form1ResultsTest::exportWithoutItemsIsReported()
{
    FormDriver driver;
    driver.run(testData(QStringLiteral("not-an-export.xml")));
    QCOMPARE(driver.dialogs->messages, QStringList{noItemsMessage});
    QVERIFY(driver.control("OptionErrors")->isEnabled());
    QVERIFY(driver.control("OptionLinks")->isEnabled());
    QCOMPARE(driver.headers(), (QStringList{"Post Title", "Content"}));
    QCOMPARE(driver.list()->model()->rowCount(), 0);
    QCOMPARE(driver.panelTexts(), QStringList(8));

    driver.showErrors();
    QCOMPARE(driver.headers(), errorHeaders);
    QCOMPARE(driver.list()->model()->rowCount(), 0);
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->messages.constLast(), QStringLiteral("Nothing to export."));
    QVERIFY(driver.dialogs->saveFolders.isEmpty());
}

void Form1ResultsTest::newRunReplacesOldResults()
{
    FormDriver driver;
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.run(testData(QStringLiteral("one-link.xml")));
    QCOMPARE(driver.headers(), (QStringList{"Post Title", "Content", "href"}));
    QCOMPARE(driver.column(0), QStringList{"Only a link"});
    driver.showErrors();
    QCOMPARE(driver.column(0), QStringList{"Only a link"});
}

void Form1ResultsTest::dummyTagWrapsTheNextRun()
{
    FormDriver driver;
    driver.control<QRadioButton>("OptionErrors")->setChecked(true);
    driver.control<QLineEdit>("TextDummy")->setText(QStringLiteral("not a name"));
    driver.run(testData(QStringLiteral("garden.xml")));
    QCOMPARE(driver.headers(), errorHeaders);
    for (const QString& code : driver.column(2))
        QVERIFY(code != QStringLiteral("0"));

    driver.control<QLineEdit>("TextDummy")->setText(QStringLiteral("wrap"));
    QCOMPARE(driver.column(2).count(QStringLiteral("0")), 0);
    driver.run(testData(QStringLiteral("garden.xml")));
    QCOMPARE(driver.column(2).count(QStringLiteral("0")), 2);
    QCOMPARE(driver.column(7).at(1), QStringLiteral("ay<br></p></wrap>"));
}

void Form1ResultsTest::sortSurvivesFillsAndKeepsFirstRowSelected()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.showErrors();
    // Reason, twice: ascending.
    driver.clickHeader(3);
    driver.clickHeader(3);
    QCOMPARE(driver.column(0), (QStringList{"beans", "Café – menu", "carrots", "Apples"}));

    // The links view is sorted by its own column 3, title, in the same order; the item made
    // from table row 1 is selected although the sort has moved it down.
    driver.showLinks();
    QCOMPARE(driver.column(0), (QStringList{"Café – menu", "beans"}));
    QCOMPARE(driver.selectedTitle(), QStringLiteral("beans"));
    QCOMPARE(driver.text(1)->text(), QStringLiteral("beans"));

    // A new run ends sorted the same way.
    driver.run(testData(QStringLiteral("garden.xml")));
    QCOMPARE(driver.column(0), (QStringList{"Café – menu", "beans"}));

    // Line in the errors view: every click flips the order, whichever column.
    driver.showErrors();
    driver.clickHeader(4);
    QCOMPARE(driver.column(4), (QStringList{"2", "1", "0", "0"}));
    QCOMPARE(driver.selectedTitle(), QStringLiteral("beans"));
    driver.clickHeader(5);
    QCOMPARE(driver.column(5), (QStringList{"0", "0", "14", "69"}));
}

void Form1ResultsTest::panelFollowsSelectionNotSorting()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.showErrors();
    driver.clickRow(3);
    QCOMPARE(driver.text(1)->text(), QStringLiteral("carrots"));

    driver.clickHeader(0);
    QCOMPARE(driver.selectedTitle(), QStringLiteral("carrots"));
    QCOMPARE(driver.text(1)->text(), QStringLiteral("carrots"));

    // Keys move the selection, and the panel with it. Sorted descending: carrots, Café, ...
    driver.list()->setFocus();
    QTest::keyClick(driver.list(), Qt::Key_Down);
    QCOMPARE(driver.text(1)->text(), QStringLiteral("Café – menu"));
    QCOMPARE(driver.text(6)->text(), QStringLiteral("0"));
}

void Form1ResultsTest::panelEmptiesSlotsPastLastColumn()
{
    FormDriver driver;
    QVERIFY(driver.show());
    driver.run(testData(QStringLiteral("one-link.xml")));
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.showErrors();
    driver.clickRow(1);
    QVERIFY(!driver.text(8)->text().isEmpty());

    // garden's link table has seven columns; the eighth box must not keep the error row's cell.
    driver.showLinks();
    QCOMPARE(driver.label(8)->text(), QStringLiteral(":"));
    QVERIFY(driver.text(8)->text().isEmpty());

    driver.run(testData(QStringLiteral("one-link.xml")));
    QCOMPARE(driver.panelTexts(),
             (QStringList{"Only a link", "<a href=\"https://example.com/\">Example</a>",
                          "https://example.com/", "", "", "", "", ""}));
    QCOMPARE(driver.panelCaptions().mid(2), (QStringList{"href:", ":", ":", ":", ":", ":"}));
}

void Form1ResultsTest::panelHoldsLongCellsWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString body = QStringLiteral("<p>") +
                         QStringLiteral("line of a long post\r\n").repeated(3000) +
                         QStringLiteral("</p>");
    QFile file(dir.filePath(QStringLiteral("long.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
               "xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel><item>"
               "<title>Long</title><content:encoded><![CDATA[" +
               body.toUtf8() + "]]></content:encoded></item></channel></rss>");
    file.close();

    FormDriver driver;
    driver.run(file.fileName());
    driver.showErrors();
    const QString cell = driver.column(1).constFirst();
    QVERIFY(cell.size() > 32767);
    QVERIFY(cell.contains(u'\n'));
    QCOMPARE(driver.text(2)->text(), cell);
}

void Form1ResultsTest::everyExportFailureIsReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing folder") << "no such folder/out.txt";
    QTest::newRow("existing folder") << "a folder";
}

void Form1ResultsTest::everyExportFailureIsReported()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a folder/inside")));
    const QString path = dir.filePath(name);

    FormDriver driver;
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.dialogs->saveAnswers.append(path);
    driver.control<QPushButton>("CommandExport")->click();

    QCOMPARE(driver.dialogs->messages.size(), 1);
    const QString message = driver.dialogs->messages.constFirst();
    QVERIFY2(message.startsWith("Can not write to " + path + ": "), qPrintable(message));
    QVERIFY(message.size() > QString("Can not write to " + path + ": ").size());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a folder/inside"))).isDir());
}

void Form1ResultsTest::refusedExportLeavesFileAsItWas()
{
    if (::geteuid() == 0)
        QSKIP("file permissions do not bind the superuser");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("open elsewhere.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner));

    FormDriver driver;
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.dialogs->saveAnswers.append(path);
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->messages,
             QStringList{"Can not write to " + path + ". Perhaps it is open."});
    QCOMPARE(fileBytes(path), QByteArray("keep me"));
}

QTEST_MAIN(Form1ResultsTest)
#include "tst_form1results.moc"
