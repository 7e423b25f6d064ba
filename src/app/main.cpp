#include "analysis/libxmlsupport.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    libxml::initialize();

    Form1 window;
    window.show();
    return application.exec();
}
