#include "formdriver.h"

#include "analysis/libxmlsupport.h"
#include "window/qtdialogs.h"
#include "window/twips.h"

#include <QApplication>

class Form1StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { libxml::initialize(); }
    void windowStartsBlank();
    void controlsHaveTheirDesign_data();
    void controlsHaveTheirDesign();
    void tabVisitsControlsInDesignOrder();
    void exportBeforeAnalysisHasNothingToExport();
    void dummyTagKeepsLabelInStep_data();
    void dummyTagKeepsLabelInStep();
    void dialogsAreSetUpAsShown();
};

void Form1StartupTest::windowStartsBlank()
{
    FormDriver driver;
    Form1& form = *driver.form;
    QCOMPARE(form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Postlint"));
    QCOMPARE(form.size(), QSize(688, 574));
    QCOMPARE(form.minimumSize(), QSize(688, 574));
    QCOMPARE(form.lastWidth(), 10320);
    QCOMPARE(form.lastHeight(), 8610);

    QVERIFY(driver.control<QLineEdit>("TextPath")->text().isEmpty());
    QVERIFY(driver.control<QLineEdit>("TextPath")->isReadOnly());
    QCOMPARE(driver.control<QLineEdit>("TextDummy")->text(), QStringLiteral("dummy"));
    QVERIFY(!driver.control<QLineEdit>("TextDummy")->isReadOnly());
    QCOMPARE(driver.control<QLabel>("LabelDummy")->text(), QStringLiteral("></dummy>"));
    auto* links = driver.control<QRadioButton>("OptionLinks");
    auto* errors = driver.control<QRadioButton>("OptionErrors");
    QVERIFY(links->isChecked() && !links->isEnabled());
    QVERIFY(!errors->isChecked() && !errors->isEnabled());
    QVERIFY(driver.control<QPushButton>("CommandPath")->isEnabled());
    QVERIFY(driver.control<QPushButton>("CommandExport")->isEnabled());

    QTreeView* list = driver.list();
    QVERIFY(!list->isHeaderHidden());
    QVERIFY(!list->rootIsDecorated());
    QVERIFY(list->uniformRowHeights());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->model()->columnCount(), 0);
    QCOMPARE(list->model()->rowCount(), 0);
    for (int slot = 1; slot <= 8; ++slot) {
        QVERIFY(driver.label(slot)->text().isEmpty());
        QVERIFY(driver.text(slot)->text().isEmpty());
        QVERIFY(driver.text(slot)->isReadOnly());
    }

    // Its caption would be cut by a larger default font: it may grow up to the "<".
    const TwipsRect tagLabel = twipsGeometry(*driver.control("LabeDummy"));
    QCOMPARE(tagLabel.left, 240);
    QCOMPARE(tagLabel.top, 885);
    QVERIFY(tagLabel.width >= 1335 && tagLabel.left + tagLabel.width <= 1800);

    // Showing the window at its start-up size moves nothing.
    QVERIFY(driver.show());
    QCOMPARE(twipsGeometry(*driver.list()).width, 9855);
    QCOMPARE(form.lastWidth(), 10320);
}

void Form1StartupTest::controlsHaveTheirDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("TextPath") << "TextPath"
                              << "" << 240 << 240 << 7695 << 375;
    QTest::newRow("CommandPath") << "CommandPath"
                                 << "Select &File" << 8160 << 240 << 1935 << 375;
    QTest::newRow("Label9") << "Label9"
                            << "<" << 1800 << 885 << 135 << 375;
    QTest::newRow("TextDummy") << "TextDummy"
                               << "dummy" << 1920 << 840 << 855 << 375;
    QTest::newRow("LabelDummy") << "LabelDummy"
                                << "></dummy>" << 2760 << 885 << 2055 << 375;
    QTest::newRow("OptionLinks") << "OptionLinks"
                                 << "&Links" << 5760 << 840 << 975 << 375;
    QTest::newRow("OptionErrors") << "OptionErrors"
                                  << "&Errors" << 6720 << 840 << 975 << 375;
    QTest::newRow("CommandExport") << "CommandExport"
                                   << "E&xport" << 8160 << 840 << 1935 << 375;
    QTest::newRow("ListView1") << "ListView1"
                               << "" << 240 << 1440 << 9855 << 3015;
    QTest::newRow("Label1") << "Label1"
                            << "" << 240 << 4800 << 1095 << 255;
    QTest::newRow("Text1") << "Text1"
                           << "" << 1560 << 4680 << 8535 << 375;
    QTest::newRow("Label5") << "Label5"
                            << "" << 240 << 6720 << 1095 << 255;
    QTest::newRow("Text5") << "Text5"
                           << "" << 1560 << 6600 << 8535 << 375;
    QTest::newRow("Label8") << "Label8"
                            << "" << 240 << 8160 << 1095 << 255;
    QTest::newRow("Text8") << "Text8"
                           << "" << 1560 << 8040 << 8535 << 375;
}

void Form1StartupTest::controlsHaveTheirDesign()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);

    FormDriver driver;
    QWidget* control = driver.control(name);
    const TwipsRect rect = twipsGeometry(*control);
    QCOMPARE(rect.left, left);
    QCOMPARE(rect.top, top);
    QCOMPARE(rect.width, width);
    QCOMPARE(rect.height, height);
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        shown = button->text();
    else if (auto* label = qobject_cast<QLabel*>(control))
        shown = label->text();
    else if (auto* box = qobject_cast<QLineEdit*>(control))
        shown = box->text();
    QCOMPARE(shown, caption);
}

void Form1StartupTest::tabVisitsControlsInDesignOrder()
{
    FormDriver driver;
    QVERIFY(driver.show());
    // Both options take part in the tab order once enabled.
    driver.run(testData(QStringLiteral("garden.xml")));

    const QStringList expected{"TextPath",      "CommandPath", "TextDummy", "OptionLinks",
                               "CommandExport", "ListView1",   "Text1",     "Text2",
                               "Text3",         "Text4",       "Text5",     "Text6",
                               "Text7",         "Text8",       "TextPath"};
    driver.control("TextPath")->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int step = 1; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    // The option group is one stop: Tab reaches its selected option only.
    QCOMPARE(visited, expected);
}

void Form1StartupTest::exportBeforeAnalysisHasNothingToExport()
{
    FormDriver driver;
    driver.control<QPushButton>("CommandExport")->click();
    QCOMPARE(driver.dialogs->messages, QStringList{"Nothing to export."});
    QVERIFY(driver.dialogs->saveFolders.isEmpty());
}

void Form1StartupTest::dummyTagKeepsLabelInStep_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("messages");

    QTest::newRow("append") << "s" << false << "dummys" << 0;
    QTest::newRow("type over all of it") << "p" << true << "p" << 0;
    QTest::newRow("spaces only") << "  " << true << "  " << 0;
    QTest::newRow("markup character") << "a<b" << true << "a<b" << 0;
    QTest::newRow("emptied") << "\b" << true << "dummy" << 1;
}

void Form1StartupTest::dummyTagKeepsLabelInStep()
{
    QFETCH(QString, keys);
    QFETCH(bool, selectAll);
    QFETCH(QString, name);
    QFETCH(int, messages);

    FormDriver driver;
    auto* box = driver.control<QLineEdit>("TextDummy");
    if (selectAll)
        box->selectAll();
    else
        box->end(false);
    if (keys == QStringLiteral("\b"))
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        QTest::keyClicks(box, keys);

    QCOMPARE(box->text(), name);
    QCOMPARE(driver.control<QLabel>("LabelDummy")->text(), "></" + name + ">");
    QCOMPARE(driver.dialogs->messages.size(), messages);
    if (messages)
        QCOMPARE(driver.dialogs->messages.constFirst(),
                 QStringLiteral("Dummy tags encapsulate the raw HTML to allow XML parsing, \n"
                                "it can not be empty and must be unique."));
}

void Form1StartupTest::dialogsAreSetUpAsShown()
{
    QWidget parent;
    const auto open = makeOpenDialog(&parent, QStringLiteral(POSTLINT_TEST_DATA));
    QCOMPARE(open->nameFilters(), QStringList{"WordPress Exports (*.xml)"});
    QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(open->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(open->directory().absolutePath(), QDir(POSTLINT_TEST_DATA).absolutePath());
    // Names are matched whatever their case: an export saved as .XML is listed too.
    QVERIFY(!(open->filter() & QDir::CaseSensitive));

    const auto save = makeSaveDialog(&parent, QStringLiteral(POSTLINT_TEST_DATA));
    QCOMPARE(save->nameFilters(), QStringList{"Text (Tab delimited) (*.txt)"});
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(save->defaultSuffix().isEmpty());
    QVERIFY(!save->testOption(QFileDialog::DontConfirmOverwrite));

    const auto box = makeMessageBox(&parent, QStringLiteral("Can not write to <b>.txt"));
    QCOMPARE(box->windowTitle(), QStringLiteral("Postlint"));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QCOMPARE(box->textFormat(), Qt::PlainText);
}

QTEST_MAIN(Form1StartupTest)
#include "tst_form1startup.moc"
