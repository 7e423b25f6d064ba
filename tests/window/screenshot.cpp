// Draws the picture of the window shown in the README: an export analysed, the errors view with
// the find bar open and only the faults shown, one faulty post selected, and the window's title
// with the counts above it (a virtual display has no window manager to draw the title bar, so the
// picture gets a plain strip with the title). Run it under a virtual display, from the top of the
// source tree:
//   postlint-screenshot examples/sample-export.xml docs/screenshot.png
// With a row number after the file names, the picture is that of the whole-row view of that row
// of the errors view (counted from 1), its fault marked.
#include "analysis/libxmlinit.h"
#include "fakedialogs.h"
#include "window/form1.h"
#include "window/longtextview.h"
#include "window/rowview.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // A third argument: "findings" for the findings view, "summary" for the audit's summary, or
    // the row of the errors view whose row view is shown.
    const bool summary = argc == 4 && std::strcmp(argv[3], "summary") == 0;
    const bool findings = summary || (argc == 4 && std::strcmp(argv[3], "findings") == 0);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr,
                     "usage: postlint-screenshot EXPORT.xml OUT.png [ROW|findings|summary]\n");
        return 2;
    }
    libxml::initialize();

    auto dialogs = std::make_unique<FakeDialogs>();
    dialogs->openAnswers = {QString::fromLocal8Bit(argv[1])};
    Form1 window(std::move(dialogs));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    window.findChild<QPushButton*>(QStringLiteral("CommandPath"))->click();
    window
        .findChild<QRadioButton*>(findings ? QStringLiteral("OptionFindings")
                                           : QStringLiteral("OptionErrors"))
        ->click();
    auto* list = window.findChild<QAbstractItemView*>(QStringLiteral("ListView1"));
    list->setFocus();
    if (argc == 4 && !findings) {
        list->selectionModel()->setCurrentIndex(list->model()->index(std::atoi(argv[3]) - 1, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        for (QAction* action : list->actions()) {
            if (action->shortcut() == QKeySequence(Qt::Key_Return))
                action->trigger();
        }
        auto* view = window.findChild<RowView*>();
        if (!view || !QTest::qWaitForWindowExposed(view))
            return 1;
        // The cursor is drawn only with the focus, which a window without a window manager has
        // only once it is made the active one.
        view->activateWindow();
        if (!QTest::qWaitForWindowActive(view))
            std::fprintf(stderr, "the row view is not active: its cursor is not drawn\n");
        view->body()->setFocus();
        QTest::qWait(200);
        return view->grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (summary) {
        window.findChild<QAction*>(QStringLiteral("AuditSummaryAction"))->trigger();
        auto* dialog = window.findChild<QDialog*>(QStringLiteral("AuditSummary"));
        if (!dialog || !QTest::qWaitForWindowExposed(dialog))
            return 1;
        QTest::qWait(200);
        return dialog->grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (!findings) {
        // Ctrl+F: without a window manager the window is never active, so shortcuts do not fire.
        for (QAction* action : window.actions()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Find))
                action->trigger();
        }
        window.findChild<QCheckBox*>(QStringLiteral("FaultsOnly"))->setChecked(true);
    }
    QTest::qWait(100);
    list->setFocus();
    list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
    QTest::qWait(200);

    // In the window's own pixels: a scaled screen's picture has more of them than the window.
    const QPixmap client = window.grab();
    const qreal scale = client.devicePixelRatio();
    const int titleHeight = 28;
    QPixmap picture(client.size() + QSize(0, qRound(titleHeight * scale)));
    picture.setDevicePixelRatio(scale);
    picture.fill(window.palette().color(QPalette::Mid));
    QPainter painter(&picture);
    painter.setPen(window.palette().color(QPalette::BrightText));
    QFont bold = window.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRect(0, 0, window.width(), titleHeight), Qt::AlignCenter,
                     window.windowTitle());
    painter.drawPixmap(0, titleHeight, client);
    painter.end();
    return picture.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
