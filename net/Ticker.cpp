#include "net/Ticker.h"

#include "net/Tick.h"

Ticker::Ticker(int firstPhase, QObject* parent)
    : QObject(parent)
    , m_phase(firstPhase)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Ticker::tick);
}

void Ticker::start() { m_timer.start(Tick::interval); }

void Ticker::stop() { m_timer.stop(); }

void Ticker::tick()
{
    const int phase = m_phase;
    m_phase = (m_phase + 1) % Tick::phases;
    emit ticked(phase);
}
