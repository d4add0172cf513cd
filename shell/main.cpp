#include "platform/Application.h"
#include "res/Pictures.h"
#include "shell/CMyApp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QLatin1String(APPLICATION_NAME));
    QApplication::setDesktopFileName(QStringLiteral("net.lumivox.LumivoxTool"));
    QApplication::setWindowIcon(ApplicationIcon());
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    return application.exec();
}
