#include "CMyApp.h"
#include "resource.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox Tool"));
    QApplication::setDesktopFileName(QStringLiteral("net.lumivox.LumivoxTool"));
    QIcon icon;
    for (int size : { 16, 32, 64, 256 })
        icon.addFile(QStringLiteral(":/res/icons/lumivox-tool-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    return application.exec();
}
