#pragma once

#include "monitor/TrapSender.h"
#include "net/Event.h"

#include <QObject>

#include <memory>

class ProbeReceiver;

// A receiver's SNMP traps: one when a source is lost and one when it recovers, to the
// destination set last, and a test when asked. A destination that cannot be used is told
// once, on standard error and as a warning.
class ReceiverTraps : public QObject {
    Q_OBJECT

public:
    explicit ReceiverTraps(const ProbeReceiver& receiver, QObject* parent = nullptr);
    ~ReceiverTraps() override;

    // HOST[:PORT], as parseTrapDestination() takes it; empty sends none.
    void setDestination(const QString& destination, const QString& community);
    bool isEnabled() const { return bool(m_sender); }
    // A test trap, as from a receiver of that group and port; told as an event.
    void sendTest(const Endpoint& receiver);

signals:
    void eventOccurred(const Event& event);

private:
    void follow(const Event& event);

    const ProbeReceiver& m_receiver;
    std::unique_ptr<TrapSender> m_sender;
};
