#include "platform/Application.h"
#include "res/Pictures.h"
#include "shell/CCommandLine.h"
#include "shell/CHeadless.h"
#include "shell/CMyApp.h"

#include <QApplication>
#include <QIcon>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

// Without one of these Qt cannot open a window, and would abort with a plugin message.
bool HasDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

int RunHeadless(int argc, char* argv[], const CCommandLine& options)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CHeadless run(options, out, err);
    return run.Exec();
}

int RunWindow(int argc, char* argv[], const CCommandLine& options)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QLatin1String(APPLICATION_NAME));
    QApplication::setDesktopFileName(QStringLiteral("net.lumivox.LumivoxTool"));
    QApplication::setWindowIcon(ApplicationIcon());
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    theApp.OpenPanels(options);
    if (options.m_nDuration)
        QTimer::singleShot(
            std::chrono::seconds(options.m_nDuration), &application, &QApplication::quit);
    return application.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CCommandLine options;
    switch (options.Parse(arguments)) {
    case CCommandLine::Outcome::Help:
        std::fputs(qPrintable(CCommandLine::HelpText()), stdout);
        return 0;
    case CCommandLine::Outcome::Version:
        std::fputs(qPrintable(CCommandLine::VersionText()), stdout);
        return 0;
    case CCommandLine::Outcome::Error:
        std::fprintf(stderr, "%s\n", qPrintable(options.Error()));
        return 2;
    case CCommandLine::Outcome::Run:
        break;
    }
    if (options.m_bHeadless)
        return RunHeadless(argc, argv, options);
    if (!HasDisplay()) {
        std::fputs("lumivox-tool: there is no display to open its window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set); run it with --headless, or on a virtual display with "
                   "xvfb-run -a lumivox-tool\n",
            stderr);
        return 1;
    }
    return RunWindow(argc, argv, options);
}
