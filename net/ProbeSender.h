#pragma once

#include "core/Defaults.h"
#include "net/Event.h"
#include "net/HostContext.h"
#include "net/Parsing.h"
#include "net/UdpSocket.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class StreamSender;

// What a transmitter sends, and how.
struct SendSettings {
    Endpoint destination;
    quint32 periodSeconds = Defaults::period;
    quint32 sizeBytes = Defaults::packetSize;
    bool randomSize = false;
    quint32 ttl = Defaults::ttl; // the hop limit for IPv6
    int interfaceIndex = 0; // the interface probes leave by; 0: the system's route
    quint32 rate = 0; // probes a second; 0 for a probe (or a burst) each period
    quint32 burst = 1; // probes sent back to back each time

    // A stream is paced on its own thread, and its probes tell their exact timing.
    bool isStream() const { return rate || burst > 1; }
    // What the header tells receivers that read no more than it: whole seconds, at least 1.
    quint32 headerPeriodSeconds() const;
};

// What a stream did in the last second, and in all.
struct StreamProgress {
    quint32 lastSequence = 0;
    quint64 sent = 0;
    quint64 failures = 0;
    quint64 late = 0; // sent behind schedule
    double rate = 0; // probes a second over the last second
    double behindMs = 0; // the most a probe was behind schedule in it; 0 for on schedule
};

// Sends numbered probes, one a period, counted down on the tick; or, for a stream, at a rate
// or in bursts, from a thread of its own that the tick reads once a second. It owns the
// socket, the sequence, the countdown and whether sends fail; a transmitter panel and a
// headless run each contain one.
class ProbeSender : public QObject {
    Q_OBJECT

public:
    explicit ProbeSender(HostContext& host, QObject* parent = nullptr);
    ~ProbeSender() override;

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
    // moved. A stream's tick reads what its thread sent: true when that moved.
    bool tick(int phase);
    // A paused stream's schedule starts anew when it resumes.
    void setPaused(bool paused);

    // Writes a block into each probe before it leaves, given the probe's bytes and number.
    using BlockWriter = std::function<void(std::vector<std::uint8_t>& probe, quint32 sequence)>;
    void setBlockWriter(BlockWriter writer) { m_blockWriter = std::move(writer); }

    bool isStarted() const { return m_socket.isOpen(); }
    bool isStreaming() const { return bool(m_stream); }
    // As at the last start.
    const SendSettings& settings() const { return m_settings; }
    const UdpSocket& socket() const { return m_socket; }
    quint16 sourcePort() const { return m_sourcePort; }
    quint32 lastSequence() const { return m_lastSequence; }
    quint32 countdownSeconds() const { return m_countdownSeconds; }
    // Since the sender was made, across stops and starts.
    quint64 sentCount() const;
    quint64 failureCount() const;
    quint64 lateCount() const; // a stream's probes sent behind schedule
    // How far behind schedule a stream was at worst in the last second, in ms.
    double behindMs() const { return m_progress.behindMs; }
    // The destination, as logs and metrics name the transmitter.
    QString name() const { return m_settings.destination.toString(); }
    // Found at the last start.
    const QStringList& hostProblems() const { return m_hostProblems; }
    // "Send failed: ..." from a failed send until a probe leaves again; empty meanwhile.
    const QString& failure() const { return m_failure; }
    // Why the last failed send failed.
    QString sendErrorText() const;

signals:
    void probeSent(quint32 sequence, quint32 size);
    // A failed send is not retried and still uses up its number, so receivers see the gap.
    void sendFailed(quint32 sequence, quint32 size, int error);
    // Warnings at the start; sends that start failing, and that work again, not each one.
    void eventOccurred(const Event& event);
    // A stream's, once a second, instead of a signal a probe.
    void streamProgress(const StreamProgress& progress);

private:
    void send(std::int8_t type);
    bool setOutputInterface(int index);
    bool startStream();
    void reportStream();
    // Tells when sends start failing, and when they work again.
    void noteSendOutcome(bool failed, int error);

    HostContext& m_host;
    UdpSocket m_socket;
    SendSettings m_settings;
    quint16 m_sourcePort = 0;
    quint32 m_lastSequence = 0;
    quint32 m_countdownSeconds = 0; // to the next probe
    quint64 m_sent = 0;
    quint64 m_failures = 0;
    quint64 m_late = 0;
    std::unique_ptr<StreamSender> m_stream;
    StreamProgress m_progress; // the stream's last second
    std::int64_t m_progressAtNs = 0;
    QStringList m_hostProblems;
    QString m_failure;
    int m_sendError = 0;
    BlockWriter m_blockWriter;
};
