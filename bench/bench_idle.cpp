// CPU the program uses while 50 transmitters send once a second to 50 receivers, all in
// one main window: the median of five runs of 10 seconds. Run it through bench/run.

#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"
#include "transmitter/TransmitterPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

// User and system time together; or the system's share alone.
double cpuSeconds(bool systemOnly = false)
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds
        = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_stime) + (systemOnly ? 0 : seconds(usage.ru_utime));
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

    // Five windows of ten seconds each; the median of them, as a shared machine's other
    // work moves any one.
    constexpr int SECONDS = 10;
    constexpr int RUNS = 5;
    std::vector<double> shares;
    double system = 0;
    for (int run = 0; run < RUNS; ++run) {
        const double before = cpuSeconds(), systemBefore = cpuSeconds(true);
        QEventLoop loop;
        QTimer::singleShot(SECONDS * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        shares.push_back(100.0 * (cpuSeconds() - before) / SECONDS);
        system += 100.0 * (cpuSeconds(true) - systemBefore) / SECONDS / RUNS;
    }
    std::sort(shares.begin(), shares.end());
    std::printf("idle: %.2f %% of one core (median of %d runs of %d s, from %.2f to %.2f; %.2f in "
                "the kernel on average), with %d transmitters at period 1 and %d receivers, %d "
                "probes/s taken in\n",
        shares[RUNS / 2], RUNS, SECONDS, shares.front(), shares.back(), system, PANELS, PANELS,
        PANELS * PANELS);
    return 0;
}
