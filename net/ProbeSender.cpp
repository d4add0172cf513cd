#include "net/ProbeSender.h"

#include "core/ProbePacket.h"
#include "net/HostChecks.h"
#include "net/StreamSender.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <algorithm>
#include <cstdlib>
#include <netinet/in.h>

quint32 SendSettings::headerPeriodSeconds() const
{
    if (!rate)
        return periodSeconds;
    return std::max(1u, (burst + rate - 1) / rate);
}

ProbeSender::ProbeSender(HostContext& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{
}

ProbeSender::~ProbeSender() = default;

bool ProbeSender::start(const SendSettings& settings)
{
    m_settings = settings;
    m_lastSequence = 0;
    m_countdownSeconds = settings.isStream() ? 0 : settings.periodSeconds;
    m_sourcePort = 0;
    m_failure.clear();
    // Loopback on, so that receivers on this host hear the probes too.
    const QHostAddress& to = settings.destination.group;
    const bool opened = to.protocol() == QAbstractSocket::IPv6Protocol
        ? m_socket.open(QAbstractSocket::IPv6Protocol, 0, false)
            && m_socket.setOption(
                IPPROTO_IPV6, IPV6_MULTICAST_HOPS, "IPV6_MULTICAST_HOPS", int(settings.ttl))
            && m_socket.setOption(IPPROTO_IPV6, IPV6_MULTICAST_LOOP, "IPV6_MULTICAST_LOOP", 1)
            && (!settings.interfaceIndex
                || m_socket.setOption(
                    IPPROTO_IPV6, IPV6_MULTICAST_IF, "IPV6_MULTICAST_IF", settings.interfaceIndex))
        : m_socket.open(QAbstractSocket::IPv4Protocol, 0, false)
            && m_socket.setOption(
                IPPROTO_IP, IP_MULTICAST_TTL, "IP_MULTICAST_TTL", int(settings.ttl))
            && m_socket.setOption(IPPROTO_IP, IP_MULTICAST_LOOP, "IP_MULTICAST_LOOP", 1)
            && (!settings.interfaceIndex || setOutputInterface(settings.interfaceIndex));
    if (!opened || (settings.isStream() && !startStream())) {
        m_socket.close();
        return false;
    }
    m_sourcePort = m_socket.localPort();
    m_hostProblems = HostChecks::atStart(settings.interfaceIndex, to, false);
    for (const QString& problem : m_hostProblems + m_host.containerNoticeOnce())
        emit eventOccurred(Event::withDetail(Event::Warning, name(), problem));
    return true;
}

bool ProbeSender::setOutputInterface(int index)
{
    ip_mreqn request {};
    request.imr_ifindex = index;
    return m_socket.setOption(
        IPPROTO_IP, IP_MULTICAST_IF, "IP_MULTICAST_IF", &request, sizeof request);
}

// The kernel tells a stream of the sends it drops (IP_RECVERR), which it otherwise keeps quiet
// of; the stream then runs on its own thread until stopped.
bool ProbeSender::startStream()
{
    const bool ipv6 = m_socket.isIPv6();
    if (!m_socket.setOption(m_socket.ipLevel(), ipv6 ? IPV6_RECVERR : IP_RECVERR,
            ipv6 ? "IPV6_RECVERR" : "IP_RECVERR", 1))
        return false;
    sockaddr_storage to {};
    const socklen_t toLength
        = UdpSocket::socketAddress(m_settings.destination.group, m_settings.destination.port, to);
    const Pacer pacer = m_settings.rate
        ? Pacer::atRate(m_settings.rate, m_settings.burst)
        : Pacer::everyPeriod(m_settings.periodSeconds, m_settings.burst);
    m_stream = std::make_unique<StreamSender>(m_socket.descriptor(), to, toLength, pacer,
        StreamProbes::Timing { pacer.periodNs(), pacer.burst(), m_settings.headerPeriodSeconds() },
        StreamSender::Sizes { m_settings.sizeBytes, m_settings.randomSize });
    m_progress = {};
    m_progressAtNs = StreamSender::monotonicNs();
    m_stream->start();
    return true;
}

void ProbeSender::stop(Stopping how)
{
    if (m_stream) {
        m_stream->stop(how == Stopping::Announced);
        const StreamSender::Totals totals = m_stream->totals();
        m_stream.reset();
        m_lastSequence = totals.lastSequence;
        m_sent += totals.sent;
        m_failures += totals.failures;
        m_late += totals.late;
        m_progress = {};
    } else if (how == Stopping::Announced && isStarted()) {
        send(ProbePacket::TypeStopping);
    }
    m_socket.close();
    m_countdownSeconds = 0;
}

quint64 ProbeSender::sentCount() const { return m_sent + (m_stream ? m_stream->totals().sent : 0); }

quint64 ProbeSender::failureCount() const
{
    return m_failures + (m_stream ? m_stream->totals().failures : 0);
}

quint64 ProbeSender::lateCount() const { return m_late + (m_stream ? m_stream->totals().late : 0); }

void ProbeSender::setPaused(bool paused)
{
    if (m_stream)
        m_stream->setPaused(paused);
}

bool ProbeSender::tick(int phase)
{
    if (m_stream) {
        const quint32 before = m_lastSequence;
        m_lastSequence = m_stream->totals().lastSequence;
        if (phase == Tick::secondPhase)
            reportStream();
        return m_lastSequence != before;
    }
    if (phase != Tick::secondPhase || !isStarted())
        return false;
    if (--m_countdownSeconds == 0) {
        m_countdownSeconds = m_settings.periodSeconds;
        send(ProbePacket::TypeProbe);
    }
    return true;
}

void ProbeSender::send(std::int8_t type)
{
    // rand() is never seeded, so every run of the program draws the same sizes.
    const auto [randomMin, randomMax] = Limits::randomSize;
    const quint32 size = m_settings.randomSize
        ? quint32(std::rand()) % (randomMax - randomMin + 1) + randomMin
        : m_settings.sizeBytes;
    const quint32 sequence = ++m_lastSequence;
    auto bytes = ProbePacket { type, sequence, m_settings.periodSeconds }.build(size);
    if (m_blockWriter)
        m_blockWriter(bytes, sequence);
    const bool failed = m_socket.sendTo(bytes.data(), bytes.size(), m_settings.destination.group,
                            m_settings.destination.port)
        < 0;
    noteSendOutcome(failed, m_socket.error());
    if (failed) {
        ++m_failures;
        emit sendFailed(sequence, size, m_socket.error());
    } else {
        ++m_sent;
        emit probeSent(sequence, size);
    }
}

// A send that fails repeats every period: told when sends start failing and when they work
// again, not each time.
void ProbeSender::noteSendOutcome(bool failed, int error)
{
    const bool wasFailing = !m_failure.isEmpty();
    if (failed) {
        m_sendError = error;
        m_failure = tr("Send failed: %1").arg(sendErrorText());
        if (!wasFailing) {
            const QString hint = HostChecks::afterSendFailed(error, m_settings.destination.group);
            emit eventOccurred(
                Event::withDetail(Event::SendFailed, name(), withHint(m_failure, hint)));
        }
    } else if (wasFailing) {
        m_failure.clear();
        emit eventOccurred(Event::withDetail(Event::SendOk, name(), tr("Sending again")));
    }
}

// A stream's batch cut short does not say why.
QString ProbeSender::sendErrorText() const
{
    return m_sendError ? systemErrorText(m_sendError) : tr("dropped on this host");
}

// Once a second: what the stream's thread sent since the last time, and whether its sends
// failed meanwhile.
void ProbeSender::reportStream()
{
    const StreamSender::Totals totals = m_stream->totals();
    const std::int64_t now = StreamSender::monotonicNs();
    const double seconds = double(now - m_progressAtNs) / 1e9;
    const quint64 sent = totals.sent - m_progress.sent;
    const quint64 failures = totals.failures - m_progress.failures;
    if (failures || sent)
        noteSendOutcome(failures > 0, totals.lastError);
    m_progress = { totals.lastSequence, totals.sent, totals.failures, totals.late,
        seconds > 0 ? double(sent) / seconds : 0, double(m_stream->takeWorstLagNs()) / 1e6 };
    m_progressAtNs = now;
    StreamProgress inAll = m_progress;
    inAll.sent += m_sent;
    inAll.failures += m_failures;
    inAll.late += m_late;
    emit streamProgress(inAll);
}
