#pragma once

#include <QTimer>

#include <chrono>
#include <functional>

// Keeps a view live to the eye under a flood without updating it at every change: the update
// runs right after the changes that asked for it, in the next turn of the event loop, then
// rests for an interval, gathering what comes meanwhile.
class UpdateThrottle : public QObject {
    Q_OBJECT

public:
    // update tells whether it had anything to do: a rest follows only an update that did.
    UpdateThrottle(
        std::chrono::milliseconds rest, std::function<bool()> update, QObject* parent = nullptr);

    // Something changed.
    void request();

private:
    void run();

    std::chrono::milliseconds m_rest;
    std::function<bool()> m_update;
    QTimer m_timer;
};
