#include "formdriver.h"

#include "window/qtdialogs.h"
#include "window/twips.h"

#include <QAction>
#include <QMap>
#include <QScreen>
#include <QSet>

namespace {

using Layout = QMap<QString, QList<int>>;

// The design: left, top, width, height in twips, and the caption or initial text.
const Layout design{
    {"TextPath", {240, 240, 7695, 375}},       {"CommandPath", {8160, 240, 1935, 375}},
    {"Label9", {1800, 885, 135, 375}},         {"TextDummy", {1920, 840, 855, 375}},
    {"LabelDummy", {2760, 885, 2055, 375}},    {"OptionLinks", {5010, 840, 975, 375}},
    {"OptionErrors", {5970, 840, 975, 375}},   {"OptionFindings", {6930, 840, 1140, 375}},
    {"CommandExport", {8160, 840, 1935, 375}}, {"ListView1", {240, 1440, 9855, 3015}},
    {"Label1", {240, 4800, 1095, 255}},        {"Text1", {1560, 4680, 8535, 375}},
    {"Label4", {240, 6240, 1095, 255}},        {"Text4", {1560, 6120, 8535, 375}},
    {"Label8", {240, 8160, 1095, 255}},        {"Text8", {1560, 8040, 8535, 375}}};
const QMap<QString, QString> captions{
    {"CommandPath", "Select &File"}, {"Label9", "<"},
    {"TextDummy", "dummy"},          {"LabelDummy", "></dummy>"},
    {"OptionLinks", "&Links"},       {"OptionErrors", "&Errors"},
    {"OptionFindings", "F&indings"}, {"CommandExport", "E&xport"}};

Layout layoutOf(const FormDriver& driver)
{
    Layout layout;
    // Where each control is in the window: the panel's sit in an area that scrolls.
    for (const QString& name : design.keys()) {
        const QWidget* control = driver.control(name);
        const QPoint at = control->mapTo(driver.form.get(), QPoint());
        layout.insert(name, {toTwips(at.x()), toTwips(at.y()), toTwips(control->width()),
                             toTwips(control->height())});
    }
    return layout;
}

bool resizeTo(Form1& form, QSize size)
{
    form.resize(size);
    return QTest::qWaitFor([&] { return form.size() == size; });
}

} // namespace

class Form1Test : public QObject
{
    Q_OBJECT
private slots:
    void windowStartsAsDesigned();
    void dummyTagKeepsLabelInStep_data();
    void dummyTagKeepsLabelInStep();
    void dialogsGuardAgainstSurprises();
    void resizeMovesAndStretches_data();
    void resizeMovesAndStretches();
    void minimiseMaximiseAndRestore();
    void fitsTheScreenAndShrinksWithoutOverlap();
};

void Form1Test::windowStartsAsDesigned()
{
    FormDriver driver;
    Form1& form = *driver.form;
    QCOMPARE(form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Postlint"));
    QCOMPARE(form.size(), QSize(688, 574));
    QVERIFY(form.minimumSize().width() < 688 && form.minimumSize().height() < 574);
    QVERIFY(!form.windowIcon().pixmap(32).isNull());
    QCOMPARE(std::pair(form.lastWidth(), form.lastHeight()), std::pair(10320, 8610));
    QCOMPARE(layoutOf(driver), design);
    for (auto caption = captions.cbegin(); caption != captions.cend(); ++caption) {
        auto* button = form.findChild<QAbstractButton*>(caption.key());
        QCOMPARE(button ? button->text() : driver.textOf(caption.key()), caption.value());
    }
    // Its caption would be cut by a larger default font: it may grow up to the "<".
    const TwipsRect tagLabel = twipsGeometry(*driver.control("LabeDummy"));
    QCOMPARE(std::pair(tagLabel.left, tagLabel.top), std::pair(240, 885));
    QVERIFY(tagLabel.width >= 1335 && tagLabel.left + tagLabel.width <= 1800);

    QVERIFY(driver.textOf("TextPath").isEmpty() &&
            driver.control<QLineEdit>("TextPath")->isReadOnly());
    QVERIFY(!driver.control<QLineEdit>("TextDummy")->isReadOnly());
    auto* links = driver.control<QRadioButton>("OptionLinks");
    auto* errors = driver.control<QRadioButton>("OptionErrors");
    QVERIFY(links->isChecked() && !links->isEnabled() && !errors->isChecked() &&
            !errors->isEnabled());
    QVERIFY(!driver.list()->isHeaderHidden() && !driver.list()->rootIsDecorated());
    QCOMPARE(driver.list()->model()->columnCount(), 0);
    QCOMPARE(driver.panel("Label"), QStringList(8));
    QCOMPARE(driver.panel("Text"), QStringList(8));
    for (int slot = 1; slot <= 8; ++slot)
        QVERIFY(driver.control<QLineEdit>(QStringLiteral("Text%1").arg(slot))->isReadOnly());

    driver.click("CommandExport");
    QCOMPARE(driver.dialogs->messages, QStringList{"Nothing to export."});
    QVERIFY(driver.dialogs->saveFolders.isEmpty());

    // Showing the window at its start-up size moves nothing.
    QVERIFY(driver.show());
    QCOMPARE(layoutOf(driver), design);

    // Every access key and shortcut of the window is one control's; Alt+D reaches the tag box
    // through its label.
    QList<QKeySequence> keys;
    for (const QAbstractButton* button : form.findChildren<QAbstractButton*>())
        keys.append(button->shortcut());
    for (const QLabel* label : form.findChildren<QLabel*>())
        keys.append(label->buddy() ? QKeySequence::mnemonic(label->text()) : QKeySequence());
    for (const QAction* action : form.findChildren<QAction*>())
        keys.append(action->shortcuts());
    keys.removeAll(QKeySequence());
    QCOMPARE(QSet<QKeySequence>(keys.cbegin(), keys.cend()).size(), keys.size());
    QVERIFY(keys.contains(QKeySequence(Qt::ALT | Qt::Key_D)));
}

void Form1Test::dummyTagKeepsLabelInStep_data()
{
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("name");
    QTest::newRow("append") << false << "s"
                            << "dummys";
    QTest::newRow("type over all of it") << true << "p"
                                         << "p";
    QTest::newRow("spaces only") << true << "  "
                                 << "  ";
    QTest::newRow("markup character") << true << "a<b"
                                      << "a<b";
    QTest::newRow("emptied") << true << ""
                             << "dummy";
}

void Form1Test::dummyTagKeepsLabelInStep()
{
    QFETCH(bool, selectAll);
    QFETCH(QString, keys);
    QFETCH(QString, name);
    FormDriver driver;
    auto* box = driver.control<QLineEdit>("TextDummy");
    selectAll ? box->selectAll() : box->end(false);
    keys.isEmpty() ? QTest::keyClick(box, Qt::Key_Backspace) : QTest::keyClicks(box, keys);

    QCOMPARE(box->text(), name);
    QCOMPARE(driver.textOf("LabelDummy"), "></" + name + ">");
    QCOMPARE(driver.dialogs->messages,
             keys.isEmpty() ? QStringList{"Dummy tags encapsulate the raw HTML to allow XML "
                                          "parsing, \nit can not be empty and must be unique."}
                            : QStringList());
}

void Form1Test::dialogsGuardAgainstSurprises()
{
    QWidget parent;
    // posts.XML is listed; an existing file is never replaced unasked; a path holding "<b>" is
    // shown as it is, not as markup.
    QVERIFY(!(makeOpenDialog(&parent, {})->filter() & QDir::CaseSensitive));
    const auto save = makeSaveDialog(&parent, {});
    QVERIFY(!save->testOption(QFileDialog::DontConfirmOverwrite) &&
            save->defaultSuffix().isEmpty());
    const auto box = makeMessageBox(&parent, QStringLiteral("<b>"));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(std::pair(box->windowTitle(), box->icon()),
             std::pair(QStringLiteral("Postlint"), QMessageBox::NoIcon));
}

void Form1Test::resizeMovesAndStretches_data()
{
    QTest::addColumn<QSize>("growth");
    QTest::addColumn<Layout>("changes");
    QTest::newRow("widen by 100 px")
        << QSize(100, 0) << Layout{{"TextPath", {240, 240, 9195, 375}},
                                   {"CommandPath", {9660, 240, 1935, 375}},
                                   {"CommandExport", {9660, 840, 1935, 375}},
                                   {"OptionLinks", {6510, 840, 975, 375}},
                                   {"OptionErrors", {7470, 840, 975, 375}},
                                   {"OptionFindings", {8430, 840, 1140, 375}},
                                   {"ListView1", {240, 1440, 11355, 3015}},
                                   {"Text1", {1560, 4680, 10035, 375}},
                                   {"Text4", {1560, 6120, 10035, 375}},
                                   {"Text8", {1560, 8040, 10035, 375}}};
    QTest::newRow("heighten by 64 px")
        << QSize(0, 64)
        << Layout{{"ListView1", {240, 1440, 9855, 3975}}, {"Text1", {1560, 5640, 8535, 375}},
                  {"Label1", {240, 5760, 1095, 255}},     {"Text4", {1560, 7080, 8535, 375}},
                  {"Label4", {240, 7200, 1095, 255}},     {"Text8", {1560, 9000, 8535, 375}},
                  {"Label8", {240, 9120, 1095, 255}}};
    QTest::newRow("narrow and lower below start-up size")
        << QSize(-60, -50)
        << Layout{
               {"TextPath", {240, 240, 6795, 375}},        {"CommandPath", {7260, 240, 1935, 375}},
               {"CommandExport", {7260, 840, 1935, 375}},  {"LabelDummy", {2760, 885, 1350, 375}},
               {"OptionLinks", {4110, 840, 975, 375}},     {"OptionErrors", {5070, 840, 975, 375}},
               {"OptionFindings", {6030, 840, 1140, 375}}, {"ListView1", {240, 1440, 8955, 2265}},
               {"Text1", {1560, 3930, 7635, 375}},         {"Label1", {240, 4050, 1095, 255}},
               {"Text4", {1560, 5370, 7635, 375}},         {"Label4", {240, 5490, 1095, 255}},
               {"Text8", {1560, 7290, 7635, 375}},         {"Label8", {240, 7410, 1095, 255}}};
}

void Form1Test::resizeMovesAndStretches()
{
    QFETCH(QSize, growth);
    QFETCH(Layout, changes);
    FormDriver driver;
    QVERIFY(driver.show());
    Layout expected = design;
    expected.insert(changes);
    const QSize size = QSize(688, 574) + growth;

    driver.form->resize(QSize(688, 574) + growth);
    QVERIFY(QTest::qWaitFor([&] { return driver.form->size() == size; }));
    QCOMPARE(layoutOf(driver), expected);
    QCOMPARE(std::pair(driver.form->lastWidth(), driver.form->lastHeight()),
             std::pair(15 * size.width(), 15 * size.height()));
    QVERIFY(resizeTo(*driver.form, QSize(688, 574)));
    QCOMPARE(layoutOf(driver), design);
}

void Form1Test::minimiseMaximiseAndRestore()
{
    FormDriver driver;
    QVERIFY(driver.show());
    QVERIFY(resizeTo(*driver.form, QSize(750, 600)));
    const Layout before = layoutOf(driver);

    driver.form->showMinimized();
    QTRY_VERIFY(driver.form->isMinimized());
    // Some window systems report a tiny size for a minimised window: it must count for nothing.
    driver.form->resize(688, 574);
    QCOMPARE(driver.form->lastWidth(), 750 * 15);
    driver.form->showNormal();
    QTRY_VERIFY(!driver.form->isMinimized());
    QVERIFY(resizeTo(*driver.form, QSize(750, 600)));
    QCOMPARE(layoutOf(driver), before);

    driver.form->showMaximized();
    QTRY_VERIFY(driver.form->isMaximized() && driver.form->width() > 750);
    const int dW = 15 * (driver.form->width() - 688);
    const int dH = 15 * (driver.form->height() - 574);
    const Layout maximised = layoutOf(driver);
    QCOMPARE(maximised["ListView1"], (QList<int>{240, 1440, 9855 + dW, 3015 + dH}));
    QCOMPARE(maximised["CommandExport"], (QList<int>{8160 + dW, 840, 1935, 375}));
    QCOMPARE(maximised["Label8"], (QList<int>{240, 8160 + dH, 1095, 255}));
    driver.form->showNormal();
    QTRY_COMPARE(driver.form->size(), QSize(750, 600));
    QCOMPARE(layoutOf(driver), before);
}

// Also run at 100 %, 150 % and 200 % on 1366×768 and 1920×1080 screens (see CMakeLists.txt).
void Form1Test::fitsTheScreenAndShrinksWithoutOverlap()
{
    FormDriver driver;
    QVERIFY(driver.show());
    Form1& form = *driver.form;
    const QRect screen = form.screen()->availableGeometry();
    if (screen.width() >= 688 && screen.height() >= 574)
        QCOMPARE(form.size(), QSize(688, 574));
    QVERIFY2(screen.contains(form.frameGeometry()), qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                                                   .arg(form.width())
                                                                   .arg(form.height())
                                                                   .arg(screen.width())
                                                                   .arg(screen.height())));

    // At the smallest size, with the find bar open, the list shows three whole rows and the panel
    // two of its boxes; nothing overlaps but the tag row's designed overlaps, and nothing has a
    // size below one pixel.
    driver.run(testData(QStringLiteral("garden.xml")));
    driver.click("OptionErrors");
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(resizeTo(form, form.minimumSize()));
    QVERIFY(form.minimumSize().height() <= std::min(574, screen.height()));
    QTreeView* list = driver.list();
    QVERIFY(list->viewport()->rect().contains(list->visualRect(list->model()->index(2, 0))));
    // Of the panel, two boxes at least, and whichever box takes the focus.
    auto* panel = driver.control<QAbstractScrollArea>("DetailPanel");
    const auto inView = [panel](const QWidget* box) {
        return panel->viewport()->rect().contains(
            QRect(box->mapTo(panel->viewport(), QPoint()), box->size()));
    };
    QVERIFY(inView(driver.control("Text2")));
    driver.control("Text8")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(inView(driver.control("Text8")));
    const QSet<QString> designedOverlaps{"Label9+TextDummy", "LabelDummy+TextDummy",
                                         "OptionLinks+OptionErrors", "OptionErrors+OptionFindings"};
    const QList<QWidget*> controls = form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* a : controls) {
        if (a->isHidden())
            continue;
        QVERIFY2(a->width() > 0 && a->height() > 0, qPrintable(a->objectName()));
        QVERIFY2(form.rect().contains(a->geometry()), qPrintable(a->objectName()));
        for (QWidget* b : controls) {
            const QStringList pair{a->objectName(), b->objectName()};
            if (a < b && !b->isHidden() && a->geometry().intersects(b->geometry()))
                QVERIFY2(designedOverlaps.contains(pair.join('+')) ||
                             designedOverlaps.contains(pair.last() + '+' + pair.first()),
                         qPrintable(pair.join(" overlaps ")));
        }
    }
}

QTEST_MAIN(Form1Test)
#include "tst_form1.moc"
