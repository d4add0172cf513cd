#include "commandline/CommandLine.h"
#include "headless/HeadlessRun.h"
#include "net/SystemError.h"
#include "res/Pictures.h"
#include "shell/MainWindow.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QIcon>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Without one of these Qt cannot open a window, and would abort with a plugin message.
bool hasDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// Whether this system can open the UDP sockets every panel needs; if not, the user is told
// what failed.
bool checkSockets()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        ::close(probe);
        return true;
    }
    showMessageBox({ nullptr,
        QApplication::translate("main", "Cannot open a UDP socket: %1").arg(systemErrorText(errno)),
        QGuiApplication::applicationDisplayName() });
    return false;
}

int runHeadless(int argc, char* argv[], const Options& options)
{
    // Without a window nothing needs GLib's event loop, and Qt's own costs less for each
    // datagram that wakes it.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    HostContext host;
    HeadlessRun run(host, options, out, err);
    return run.exec();
}

int runWindow(int argc, char* argv[], const Options& options)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumivox Tool"));
    QApplication::setDesktopFileName(QStringLiteral("net.lumivox.LumivoxTool"));
    QApplication::setWindowIcon(applicationIcon());
    if (!checkSockets())
        return 1;
    HostContext host;
    MainWindow window(host);
    window.show();
    window.openPanels(options);
    if (options.durationSeconds)
        QTimer::singleShot(std::chrono::seconds(options.durationSeconds), Qt::PreciseTimer, &window,
            &MainWindow::endRun);
    const int status = application.exec();
    return status ? status : window.exitStatus();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine commandLine;
    switch (commandLine.parse(arguments)) {
    case CommandLine::Outcome::Help:
        std::fputs(qPrintable(CommandLine::helpText()), stdout);
        return 0;
    case CommandLine::Outcome::Version:
        std::fputs(qPrintable(CommandLine::versionText()), stdout);
        return 0;
    case CommandLine::Outcome::Error:
        std::fprintf(stderr, "%s\n", qPrintable(commandLine.error()));
        return 2;
    case CommandLine::Outcome::Run:
        break;
    }
    if (commandLine.options().headless)
        return runHeadless(argc, argv, commandLine.options());
    if (!hasDisplay()) {
        std::fputs("lumivox-tool: there is no display to open its window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set); run it with --headless, or on a virtual display with "
                   "xvfb-run -a lumivox-tool\n",
            stderr);
        return 1;
    }
    return runWindow(argc, argv, commandLine.options());
}
