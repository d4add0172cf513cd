#pragma once

#include <QString>

class MetricsText;

// What the main window asks of every panel it hosts, whatever its kind.
class Panel {
public:
    virtual ~Panel() = default;

    // Every quarter of a second, with the phase 0 to 3; phase 0 comes once a second.
    virtual void tick(int phase) = 0;
    // The group and port, as the log and metrics name the panel.
    virtual QString name() const = 0;
    virtual void collectMetrics(MetricsText& text) const = 0;
    // Started, and not stopped since.
    virtual bool isRunning() const = 0;
    // Asks the user, where closing would end what the panel does; false keeps it open.
    virtual bool confirmClose() { return true; }
};
