#pragma once

#include <QObject>
#include <QTimer>

// The one clock of a run, the window's and a headless run's alike: a tick every quarter of a
// second (Tick::interval), numbered round by phase, so that phase 0 comes once a second.
class Ticker : public QObject {
    Q_OBJECT

public:
    // The first tick has firstPhase: 0 for a second-phase tick a quarter of a second after
    // the start, 1 for one a full second after it.
    explicit Ticker(int firstPhase, QObject* parent = nullptr);

    void start();
    void stop();

signals:
    void ticked(int phase);

private:
    void tick();

    QTimer m_timer;
    int m_phase;
};
