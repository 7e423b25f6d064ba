#include "window/runprogress.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTest>

// A long run shows its progress in a modal dialog that goes with the run; a short one shows none.
class RunProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void shortRunShowsNothing();
    void longRunShowsCountAndBlocksTheWindow();
};

void RunProgressTest::shortRunShowsNothing()
{
    QWidget window;
    RunProgress progress(&window, 60000);
    progress.update(64);
    QVERIFY(!progress.isShown());
    QVERIFY(window.findChildren<QProgressDialog*>().isEmpty());
}

void RunProgressTest::longRunShowsCountAndBlocksTheWindow()
{
    QWidget window;
    window.show();
    {
        RunProgress progress(&window, 0);
        progress.update(1234);
        QVERIFY(progress.isShown());
        QCOMPARE(progress.text(), QStringLiteral("Checked 1,234 items"));
        auto* dialog = window.findChild<QProgressDialog*>();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isModal());
        QCOMPARE(QApplication::activeModalWidget(), dialog);
    }
    QVERIFY(window.findChildren<QProgressDialog*>().isEmpty());
}

QTEST_MAIN(RunProgressTest)
#include "tst_runprogress.moc"
