// CPU the program uses while 50 transmitters send once a second to 50 receivers, all in
// one main window, over 10 seconds. Run it through bench/run.

#include "shell/CMyApp.h"
#include "shell/CMyMDIFrameWnd.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void open(CMyMDIFrameWnd* frame, QAction* command, const char* field, const char* value,
    const char* start)
{
    command->trigger();
    QWidget* panel = frame->MDIGetActive()->widget();
    panel->findChild<QLineEdit*>(QLatin1String(field))->setText(QLatin1String(value));
    panel->findChild<QAbstractButton*>(QLatin1String(start))->click();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CMyApp theApp;
    if (!theApp.InitInstance())
        return 1;
    CMyMDIFrameWnd* frame = theApp.MainFrame();
    constexpr int PANELS = 50;
    for (int i = 0; i < PANELS; ++i) {
        open(frame, frame->m_actAddTransmitter, "IDC_TX_FREQUENCY", "1", "IDC_TX_START");
        open(frame, frame->m_actAddReceiver, "IDC_RX_PORT", "8910", "IDC_RX_START");
    }
    // Let the windows settle before measuring.
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();

    constexpr int SECONDS = 10;

    const double before = cpuSeconds();
    QEventLoop run;
    QTimer::singleShot(SECONDS * 1000, &run, &QEventLoop::quit);
    run.exec();
    const double used = cpuSeconds() - before;
    std::printf("idle with %d transmitters at period 1 and %d receivers (%d probes/s taken "
                "in): %.2f %% of one core over %d s\n",
        PANELS, PANELS, PANELS * PANELS, 100.0 * used / SECONDS, SECONDS);
    return 0;
}
