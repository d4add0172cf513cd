#include "net/ReceiveSocket.h"

#include "net/HostChecks.h"
#include "net/Tick.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QPointer>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>

namespace {

// As long a queue as the system allows (it caps the request at net.core.rmem_max):
// datagrams that arrive while the event loop is busy elsewhere wait instead of being dropped.
constexpr int QueueBytes = 4 << 20;

// The benchmarks compare receivers queue for queue: LUMIVOX_RECEIVE_QUEUE=default keeps the
// system's default.
bool keepsDefaultQueue()
{
    static const bool keeps = qgetenv("LUMIVOX_RECEIVE_QUEUE") == "default";
    return keeps;
}
// Going back to the event loop for each datagram would cost more than the datagram itself;
// one pass ends after this many, or this long, so the window keeps answering under a flood.
constexpr int DatagramsPerPass = 128;
constexpr qint64 PassNanoseconds = 2'000'000;
// Waking for each datagram of a stream costs several times what reading it does. Once a
// pass has emptied the queue, the socket stops listening this long and then reads what has
// gathered, until a pass finds nothing. A lone probe is read as soon as it comes.
constexpr std::chrono::milliseconds GatherTime { 1 };
// A faster stream is read as it comes, and so is every stream once the queue has overflowed:
// the wait costs the queue a millisecond of its room, and the system's default one holds
// only about 90 datagrams of 1000 bytes. A fast stream wakes the reader with several
// datagrams waiting anyway.
constexpr int GatherBelow = 32;

} // namespace

ReceiveSocket::ReceiveSocket(QObject* parent)
    : UdpSocket(parent)
{
    m_gathering.setSingleShot(true);
    m_gathering.setTimerType(Qt::PreciseTimer);
    m_gathering.setInterval(GatherTime);
    connect(this, &UdpSocket::readyRead, this, &ReceiveSocket::readWaiting);
    connect(&m_gathering, &QTimer::timeout, this, &ReceiveSocket::readWaiting);
}

bool ReceiveSocket::bind(const Endpoint& where, int interfaceIndex, bool join)
{
    const bool ipv6 = where.group.protocol() == QAbstractSocket::IPv6Protocol;
    if (!open(where.group.protocol(), where.port, true)
        || (!keepsDefaultQueue() && !setOption(SOL_SOCKET, SO_RCVBUF, "SO_RCVBUF", QueueBytes))
        || !(ipv6 ? setOption(IPPROTO_IPV6, IPV6_RECVHOPLIMIT, "IPV6_RECVHOPLIMIT", 1)
                  : setOption(IPPROTO_IP, IP_RECVTTL, "IP_RECVTTL", 1))
        || !setOption(SOL_SOCKET, SO_RXQ_OVFL, "SO_RXQ_OVFL", 1)
        || !setOption(SOL_SOCKET, SO_TIMESTAMPNS, "SO_TIMESTAMPNS", 1)) {
        close();
        return false;
    }
    m_where = where;
    m_interfaceIndex = interfaceIndex;
    m_joinedAtMs = -1;
    m_isMember = false;
    m_joinedName.clear();
    m_joinedIndex = 0;
    m_joinedAddresses.clear();
    m_drops = 0;
    // An IPv6 group may name its interface itself: ff02::1%eth0.
    if (!m_interfaceIndex && !where.group.scopeId().isEmpty())
        m_interfaceIndex = QNetworkInterface::interfaceIndexFromName(where.group.scopeId());
    if (join && !joinGroup())
        emit joinRefused(error());
    enableReadNotification();
    return true;
}

bool ReceiveSocket::joinGroup()
{
    m_isMember = setMembership(true);
    if (m_isMember) {
        m_joinedAtMs = Tick::nowMs();
        rememberJoin();
    }
    return m_isMember;
}

namespace {

QList<QHostAddress> addressesOf(const QNetworkInterface& interface)
{
    QList<QHostAddress> addresses;
    for (const QNetworkAddressEntry& entry : interface.addressEntries())
        addresses << entry.ip();
    return addresses;
}

} // namespace

void ReceiveSocket::rememberJoin()
{
    m_joinedName = m_interfaceIndex ? QNetworkInterface::interfaceNameFromIndex(m_interfaceIndex)
        : isIPv6()                  ? QString()
                                    : HostChecks::multicastRouteInterface();
    const QNetworkInterface interface = QNetworkInterface::interfaceFromName(m_joinedName);
    m_joinedIndex = interface.index();
    m_joinedAddresses = addressesOf(interface);
}

ReceiveSocket::Rejoin ReceiveSocket::rejoinIfMoved()
{
    if (m_joinedAtMs < 0 || m_joinedName.isEmpty())
        return Rejoin::NotNeeded;
    const QNetworkInterface now = QNetworkInterface::interfaceFromName(m_joinedName);
    if (!now.isValid()) {
        m_isMember = false; // the kernel dropped it with the interface
        return Rejoin::Gone;
    }
    if (!now.flags().testFlag(QNetworkInterface::IsUp)
        || (m_isMember && now.index() == m_joinedIndex && addressesOf(now) == m_joinedAddresses))
        return Rejoin::NotNeeded;
    const bool chosen = m_interfaceIndex != 0;
    m_interfaceIndex = m_joinedIndex;
    setMembership(false); // refused where the kernel dropped it with the interface
    m_interfaceIndex = chosen ? now.index() : 0;
    return joinGroup() ? Rejoin::Joined : Rejoin::Refused;
}

bool ReceiveSocket::leaveGroup()
{
    const bool left = setMembership(false);
    if (left) {
        m_joinedAtMs = -1;
        m_isMember = false;
    }
    return left;
}

bool ReceiveSocket::setMembership(bool join)
{
    if (!m_where.source.isNull()) {
        group_source_req request {};
        request.gsr_interface = unsigned(m_interfaceIndex);
        socketAddress(m_where.group, 0, request.gsr_group);
        socketAddress(m_where.source, 0, request.gsr_source);
        return join ? setOption(ipLevel(), MCAST_JOIN_SOURCE_GROUP, "MCAST_JOIN_SOURCE_GROUP",
                   &request, sizeof request)
                    : setOption(ipLevel(), MCAST_LEAVE_SOURCE_GROUP, "MCAST_LEAVE_SOURCE_GROUP",
                        &request, sizeof request);
    }
    if (isIPv6()) {
        ipv6_mreq request {};
        const Q_IPV6ADDR group = m_where.group.toIPv6Address();
        std::memcpy(&request.ipv6mr_multiaddr, &group, sizeof request.ipv6mr_multiaddr);
        request.ipv6mr_interface = unsigned(m_interfaceIndex);
        return join
            ? setOption(IPPROTO_IPV6, IPV6_JOIN_GROUP, "IPV6_JOIN_GROUP", &request, sizeof request)
            : setOption(
                IPPROTO_IPV6, IPV6_LEAVE_GROUP, "IPV6_LEAVE_GROUP", &request, sizeof request);
    }
    ip_mreqn request {};
    request.imr_multiaddr.s_addr = htonl(m_where.group.toIPv4Address());
    request.imr_address.s_addr = htonl(INADDR_ANY);
    request.imr_ifindex = m_interfaceIndex;
    return join
        ? setOption(IPPROTO_IP, IP_ADD_MEMBERSHIP, "IP_ADD_MEMBERSHIP", &request, sizeof request)
        : setOption(IPPROTO_IP, IP_DROP_MEMBERSHIP, "IP_DROP_MEMBERSHIP", &request, sizeof request);
}

void ReceiveSocket::readWaiting()
{
    if (!isOpen())
        return; // closed while a stream gathered
    QPointer<ReceiveSocket> alive(this);
    // On the stack, not in the object: a receiver may delete this socket from its signal.
    ReceivedBatch batch;
    // Started only once a pass reads more than one batch: a clock read costs as much as a
    // datagram where each one comes alone.
    QElapsedTimer pass;
    for (int read = 0;;) {
        if (!receiveBatch(batch)) {
            gather(false);
            if (error() != EAGAIN && error() != EWOULDBLOCK)
                emit receiveFailed(error());
            return;
        }
        for (int n = 0; n < batch.count; ++n) {
            const ReceivedDatagram datagram = datagramOf(batch, n);
            if (datagram.drops)
                m_drops = *datagram.drops;
            if (datagram.length == 0) {
                emit emptyDatagramReceived();
            } else {
                m_sender.assign(datagram.address, datagram.addressLength);
                emit datagramReceived(batch.bytes[n], datagram.length, m_sender, datagram.port,
                    datagram.ttl, datagram.arrivalNs);
            }
            if (!alive || !isOpen())
                return;
        }
        read += batch.count;
        // Fewer than asked for: the queue is empty, and asking again only to hear so would
        // cost a call.
        if (batch.count < ReceivedBatch::Size)
            return gather(read < GatherBelow && m_drops == 0);
        // More waits: the event loop runs once, and the next pass follows at once.
        if (read >= DatagramsPerPass)
            return gather(false);
        if (!pass.isValid())
            pass.start();
        else if (pass.nsecsElapsed() >= PassNanoseconds)
            return gather(false);
    }
}

void ReceiveSocket::gather(bool streaming)
{
    pauseReadNotification(streaming);
    if (streaming)
        m_gathering.start();
    else
        m_gathering.stop();
}
