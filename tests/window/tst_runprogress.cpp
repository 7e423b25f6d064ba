#include "window/runprogress.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

// A long run shows its progress in a dialog that goes with the run and, though not modal, keeps
// the window's input from reaching it; a short one shows none.
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
    auto* button = new QPushButton(QStringLiteral("Start"), &window);
    int clicks = 0;
    connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    window.show();
    {
        RunProgress progress(&window, 0);
        progress.update(1234);
        QVERIFY(progress.isShown());
        QCOMPARE(progress.text(), QStringLiteral("Checked 1,234 items"));
        auto* dialog = window.findChild<QProgressDialog*>();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        // Not modal, so that the window can still be closed; its input goes nowhere instead.
        QVERIFY(!dialog->isModal());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 0);

        QVERIFY(!progress.cancelRequested());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(progress.cancelRequested());
        QTest::qWait(120); // the count is refreshed a few times a second
        progress.update(1300);
        QCOMPARE(progress.text(), QStringLiteral("Stopping after 1,300 items"));
    }
    QVERIFY(window.findChildren<QProgressDialog*>().isEmpty());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

QTEST_MAIN(RunProgressTest)
#include "tst_runprogress.moc"
