#pragma once

#include <QObject>
#include <QString>

class MetricsText;

// What the main window asks of every panel it hosts, whatever its kind; a panel is a widget
// that declares it with Q_INTERFACES, found with qobject_cast.
class Panel {
public:
    // How closing is to end what a panel does: with the message that tells receivers its
    // transmitter stops on purpose, without it, or not at all.
    enum class Ending { Announced, Silent, Cancelled };

    virtual ~Panel() = default;

    // Every quarter of a second, with the phase 0 to 3; phase 0 comes once a second.
    virtual void tick(int phase) = 0;
    // The group and port, as metrics name the panel.
    virtual QString name() const = 0;
    // "Receiver" or "Transmitter": with the name, its title once started.
    virtual QString role() const = 0;
    virtual void collectMetrics(MetricsText& text) const = 0;
    // Asks the user how to end, where closing would end what they started.
    virtual Ending askToClose() { return Ending::Announced; }
    // Stops what the panel does, as it closes.
    virtual void finish(Ending) { }
};

Q_DECLARE_INTERFACE(Panel, "net.lumivox.Panel")
