#include "net/ProbeSender.h"

#include "core/ProbePacket.h"
#include "net/HostChecks.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <cstdlib>
#include <netinet/in.h>

ProbeSender::ProbeSender(HostContext& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{
}

bool ProbeSender::start(const SendSettings& settings)
{
    m_settings = settings;
    m_lastSequence = 0;
    m_countdownSeconds = settings.periodSeconds;
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
    if (!opened) {
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

void ProbeSender::stop(Stopping how)
{
    if (how == Stopping::Announced && isStarted())
        send(ProbePacket::TypeStopping);
    m_socket.close();
    m_countdownSeconds = 0;
}

bool ProbeSender::tick(int phase)
{
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
    // A send that fails repeats every period: told when sends start failing and when they
    // work again, not each time.
    const bool wasFailing = !m_failure.isEmpty();
    if (m_socket.sendTo(
            bytes.data(), bytes.size(), m_settings.destination.group, m_settings.destination.port)
        < 0) {
        ++m_failures;
        const int error = m_socket.error();
        m_failure = tr("Send failed: %1").arg(systemErrorText(error));
        emit sendFailed(sequence, size, error);
        if (!wasFailing) {
            const QString hint = HostChecks::afterSendFailed(error, m_settings.destination.group);
            emit eventOccurred(
                Event::withDetail(Event::SendFailed, name(), withHint(m_failure, hint)));
        }
    } else {
        ++m_sent;
        m_failure.clear();
        emit probeSent(sequence, size);
        if (wasFailing)
            emit eventOccurred(Event::withDetail(Event::SendOk, name(), tr("Sending again")));
    }
}
