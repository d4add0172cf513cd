#include "widgets/UpdateThrottle.h"

UpdateThrottle::UpdateThrottle(
    std::chrono::milliseconds rest, std::function<bool()> update, QObject* parent)
    : QObject(parent)
    , m_rest(rest)
    , m_update(std::move(update))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UpdateThrottle::run);
}

void UpdateThrottle::request()
{
    if (!m_timer.isActive())
        m_timer.start(0);
}

void UpdateThrottle::run()
{
    // Rest first, so that what the update itself causes waits for the rest.
    m_timer.start(m_rest);
    if (!m_update())
        m_timer.stop(); // nothing to tell: idle until the next change
}
