#include "analysis/libxmlinit.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry and icon (Wayland's application id).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.postlint.Postlint"));
    libxml::initialize();

    Form1 window;
    window.show();
    return application.exec();
}
