// CPU the program uses while 50 transmitters send once a second to 50 receivers, all in
// one main window, over 10 seconds. Run it through bench/run.

#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"
#include "transmitter/TransmitterPanel.h"

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

void open(QWidget* panel, const char* field, const char* value, const char* start)
{
    panel->findChild<QLineEdit*>(QLatin1String(field))->setText(QLatin1String(value));
    panel->findChild<QAbstractButton*>(QLatin1String(start))->click();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    constexpr int PANELS = 50;
    for (int i = 0; i < PANELS; ++i) {
        open(window.addTransmitter(), "periodEdit", "1", "startButton");
        open(window.addReceiver(), "portEdit", "8910", "startButton");
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
