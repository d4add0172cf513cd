#pragma once

#include "core/Defaults.h"
#include "net/Event.h"
#include "net/HostContext.h"
#include "net/Parsing.h"
#include "net/UdpSocket.h"

#include <QObject>

#include <functional>
#include <vector>

// What a transmitter sends, and how.
struct SendSettings {
    Endpoint destination;
    quint32 periodSeconds = Defaults::period;
    quint32 sizeBytes = Defaults::packetSize;
    bool randomSize = false;
    quint32 ttl = Defaults::ttl; // the hop limit for IPv6
    int interfaceIndex = 0; // the interface probes leave by; 0: the system's route
};

// Sends numbered probes, one a period, counted down on the tick. It owns the socket, the
// sequence, the countdown and whether sends fail; a transmitter panel and a headless run
// each contain one.
class ProbeSender : public QObject {
    Q_OBJECT

public:
    explicit ProbeSender(HostContext& host, QObject* parent = nullptr);

    // A new socket from a new source port, and the numbers from 1 again. False when the
    // socket cannot be had: socket() tells why. What on this host keeps the probes in is
    // told as warnings.
    bool start(const SendSettings& settings);
    // How a transmitter stops: as planned, with the stopping message numbered as the next
    // probe, so that receivers know the silence is no loss; or silently.
    enum class Stopping { Announced, Silent };
    // Closes the socket, after the stopping message when announced.
    void stop(Stopping how);
    // Counts down once a second, and sends when the period has run out; true when the count
    // moved.
    bool tick(int phase);

    // Writes a block into each probe before it leaves, given the probe's bytes and number.
    using BlockWriter = std::function<void(std::vector<std::uint8_t>& probe, quint32 sequence)>;
    void setBlockWriter(BlockWriter writer) { m_blockWriter = std::move(writer); }

    bool isStarted() const { return m_socket.isOpen(); }
    const UdpSocket& socket() const { return m_socket; }
    quint16 sourcePort() const { return m_sourcePort; }
    quint32 lastSequence() const { return m_lastSequence; }
    quint32 countdownSeconds() const { return m_countdownSeconds; }
    // Since the sender was made, across stops and starts.
    quint64 sentCount() const { return m_sent; }
    quint64 failureCount() const { return m_failures; }
    // The destination, as logs and metrics name the transmitter.
    QString name() const { return m_settings.destination.toString(); }
    // Found at the last start.
    const QStringList& hostProblems() const { return m_hostProblems; }
    // "Send failed: ..." from a failed send until a probe leaves again; empty meanwhile.
    const QString& failure() const { return m_failure; }

signals:
    void probeSent(quint32 sequence, quint32 size);
    // A failed send is not retried and still uses up its number, so receivers see the gap.
    void sendFailed(quint32 sequence, quint32 size, int error);
    // Warnings at the start; sends that start failing, and that work again, not each one.
    void eventOccurred(const Event& event);

private:
    void send(std::int8_t type);
    bool setOutputInterface(int index);

    HostContext& m_host;
    UdpSocket m_socket;
    SendSettings m_settings;
    quint16 m_sourcePort = 0;
    quint32 m_lastSequence = 0;
    quint32 m_countdownSeconds = 0; // to the next probe
    quint64 m_sent = 0;
    quint64 m_failures = 0;
    QStringList m_hostProblems;
    QString m_failure;
    BlockWriter m_blockWriter;
};
