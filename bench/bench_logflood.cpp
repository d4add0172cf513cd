// How the window's log takes a flood: 10,000 events a second for 10 seconds into an open
// log, told through a receiver panel as a flood of new sources would tell them. Prints the
// longest the event loop stalled (the widest gap of a 1 ms heartbeat, less its 1 ms) and the
// CPU the process used. A log that cannot keep up takes what it can for a minute at most,
// and the figures say how much. Run it through bench/run.

#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int PER_SECOND = 10000;
constexpr int SECONDS = 10;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds
        = [](const timeval& time) { return double(time.tv_sec) + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    HostContext host;
    MainWindow window(host);
    window.show();
    ReceiverPanel* panel = window.addReceiver();
    window.findChild<QAction*>(QStringLiteral("logAct"))->trigger();
    QApplication::processEvents();

    QElapsedTimer clock;
    const qint64 total = qint64(PER_SECOND) * SECONDS;
    qint64 told = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    // Every 10 ms, as many as are due by then, up to a tenth of a second's worth.
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const qint64 due
            = std::min({ total, clock.elapsed() * PER_SECOND / 1000, told + PER_SECOND / 10 });
        for (; told < due; ++told) {
            Event event = Event::withDetail(
                Event::New, QString(), QStringLiteral("New source, sending every 1 s"));
            event.source = QStringLiteral("10.%1.%2.%3")
                               .arg(told >> 16 & 255)
                               .arg(told >> 8 & 255)
                               .arg(told & 255);
            event.port = 5000;
            emit panel->eventOccurred(event);
        }
        if (told == total || clock.elapsed() > 60'000)
            QApplication::quit();
    });
    qint64 lastBeatNs = 0;
    qint64 widestGapNs = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        widestGapNs = std::max(widestGapNs, now - lastBeatNs);
        lastBeatNs = now;
    });

    const double cpuBefore = cpuSeconds();
    clock.start();
    feed.start(10);
    beat.start(1);
    QApplication::exec();
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("log flood: %lld events in %.2f s: longest stall %.0f ms, CPU %.0f %% of a core\n",
        static_cast<long long>(told), wall, std::max(0.0, widestGapNs / 1e6 - 1), 100 * cpu / wall);
    return 0;
}
