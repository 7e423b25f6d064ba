// Draws the picture of the window shown in the README: an export analysed, the errors view, one
// faulty post selected. Run it under a virtual display, from the top of the source tree:
//   postlint-screenshot examples/sample-export.xml docs/screenshot.png
#include "analysis/libxmlinit.h"
#include "fakedialogs.h"
#include "window/form1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: postlint-screenshot EXPORT.xml OUT.png\n");
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
    window.findChild<QRadioButton*>(QStringLiteral("OptionErrors"))->click();
    auto* list = window.findChild<QAbstractItemView*>(QStringLiteral("ListView1"));
    list->setFocus();
    list->setCurrentIndex(list->model()->index(2, 0));
    QTest::qWait(200);

    return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
