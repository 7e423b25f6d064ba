#include "formdriver.h"

#include "window/twips.h"

#include <QMap>

namespace {

using Layout = QMap<QString, QList<int>>;

const QStringList followers{"TextPath",      "CommandPath", "LabeDummy",   "Label9",
                            "TextDummy",     "LabelDummy",  "OptionLinks", "OptionErrors",
                            "CommandExport", "ListView1",   "Label1",      "Text1",
                            "Label4",        "Text4",       "Label8",      "Text8"};

Layout layoutOf(const FormDriver& driver)
{
    Layout layout;
    for (const QString& name : followers) {
        const TwipsRect rect = twipsGeometry(*driver.control(name));
        layout.insert(name, {rect.left, rect.top, rect.width, rect.height});
    }
    return layout;
}

// Resizes the shown window and waits until the window has taken the new size.
bool resizeTo(Form1& form, QSize size)
{
    form.resize(size);
    return QTest::qWaitFor([&] { return form.size() == size; });
}

} // namespace

class Form1LayoutTest : public QObject
{
    Q_OBJECT
private slots:
    void resizeMovesAndStretches_data();
    void resizeMovesAndStretches();
    void minimiseAndRestoreMoveNothing();
    void maximiseAndRestoreComeBack();
    void windowCannotShrinkBelowStartSize();
};

void Form1LayoutTest::resizeMovesAndStretches_data()
{
    QTest::addColumn<QSize>("growth");
    QTest::addColumn<Layout>("changes");

    // Entries are the values that must change; every other stays as designed.
    QTest::newRow("widen by 100 px")
        << QSize(100, 0)
        << Layout{
               {"TextPath", {240, 240, 9195, 375}},       {"CommandPath", {9660, 240, 1935, 375}},
               {"CommandExport", {9660, 840, 1935, 375}}, {"OptionLinks", {7260, 840, 975, 375}},
               {"OptionErrors", {8220, 840, 975, 375}},   {"ListView1", {240, 1440, 11355, 3015}},
               {"Text1", {1560, 4680, 10035, 375}},       {"Text4", {1560, 6120, 10035, 375}},
               {"Text8", {1560, 8040, 10035, 375}}};
    QTest::newRow("heighten by 64 px")
        << QSize(0, 64)
        << Layout{{"ListView1", {240, 1440, 9855, 3975}}, {"Text1", {1560, 5640, 8535, 375}},
                  {"Label1", {240, 5760, 1095, 255}},     {"Text4", {1560, 7080, 8535, 375}},
                  {"Label4", {240, 7200, 1095, 255}},     {"Text8", {1560, 9000, 8535, 375}},
                  {"Label8", {240, 9120, 1095, 255}}};
}

void Form1LayoutTest::resizeMovesAndStretches()
{
    QFETCH(QSize, growth);
    QFETCH(Layout, changes);

    FormDriver driver;
    QVERIFY(driver.show());
    Layout expected = layoutOf(driver);
    for (auto change = changes.cbegin(); change != changes.cend(); ++change)
        expected[change.key()] = change.value();

    QVERIFY(resizeTo(*driver.form, QSize(688, 574) + growth));
    QCOMPARE(layoutOf(driver), expected);
    QCOMPARE(driver.form->lastWidth(), 10320 + 15 * growth.width());
    QCOMPARE(driver.form->lastHeight(), 8610 + 15 * growth.height());

    // Back to the start-up size, everything is where it was designed.
    QVERIFY(resizeTo(*driver.form, QSize(688, 574)));
    QCOMPARE(layoutOf(driver), layoutOf(FormDriver()));
}

void Form1LayoutTest::minimiseAndRestoreMoveNothing()
{
    FormDriver driver;
    QVERIFY(driver.show());
    QVERIFY(resizeTo(*driver.form, QSize(750, 600)));
    const Layout before = layoutOf(driver);

    driver.form->showMinimized();
    QTRY_VERIFY(driver.form->isMinimized());
    // Some window systems report a tiny size for a minimised window: it must be ignored.
    driver.form->resize(688, 574);
    QCOMPARE(driver.form->lastWidth(), 750 * 15);
    driver.form->showNormal();
    driver.form->resize(750, 600);
    QTRY_VERIFY(!driver.form->isMinimized());
    QVERIFY(QTest::qWaitFor([&] { return driver.form->size() == QSize(750, 600); }));
    QCOMPARE(layoutOf(driver), before);
}

void Form1LayoutTest::maximiseAndRestoreComeBack()
{
    FormDriver driver;
    QVERIFY(driver.show());
    const Layout before = layoutOf(driver);

    driver.form->showMaximized();
    QTRY_VERIFY(driver.form->isMaximized());
    QTRY_VERIFY(driver.form->width() > 688);
    const int dW = 15 * (driver.form->width() - 688);
    const int dH = 15 * (driver.form->height() - 574);
    const Layout maximised = layoutOf(driver);
    QCOMPARE(maximised["ListView1"], (QList<int>{240, 1440, 9855 + dW, 3015 + dH}));
    QCOMPARE(maximised["CommandExport"], (QList<int>{8160 + dW, 840, 1935, 375}));
    QCOMPARE(maximised["Label8"], (QList<int>{240, 8160 + dH, 1095, 255}));

    driver.form->showNormal();
    QTRY_VERIFY(!driver.form->isMaximized());
    QTRY_COMPARE(driver.form->size(), QSize(688, 574));
    QCOMPARE(layoutOf(driver), before);
}

void Form1LayoutTest::windowCannotShrinkBelowStartSize()
{
    FormDriver driver;
    QVERIFY(driver.show());
    const Layout before = layoutOf(driver);
    driver.form->resize(300, 200);
    QTest::qWait(50);
    QCOMPARE(driver.form->size(), QSize(688, 574));
    QCOMPARE(layoutOf(driver), before);
}

QTEST_MAIN(Form1LayoutTest)
#include "tst_form1layout.moc"
