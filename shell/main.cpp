#include "CMyApp.h"
#include "resource.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox Tool"));
    QApplication::setDesktopFileName(QStringLiteral("lumivox-tool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/res/lumivox-tool-64.png")));
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    return application.exec();
}
