#include "net/ReceiveSocket.h"

#include "net/Tick.h"

#include <QElapsedTimer>
#include <QPointer>

#include <cerrno>
#include <netinet/in.h>

namespace {

// As long a queue as the system allows (it caps the request at net.core.rmem_max):
// datagrams that arrive while the event loop is busy elsewhere wait instead of being dropped.
constexpr int QueueBytes = 4 << 20;
// Going back to the event loop for each datagram would cost more than the datagram itself;
// one pass ends after this many, or this long, so the window keeps answering under a flood.
constexpr int DatagramsPerPass = 128;
constexpr qint64 PassNanoseconds = 2'000'000;

} // namespace

ReceiveSocket::ReceiveSocket(QObject* parent)
    : UdpSocket(parent)
{
    connect(this, &UdpSocket::readyRead, this, &ReceiveSocket::readWaiting);
}

bool ReceiveSocket::bind(const QHostAddress& group, quint16 port, bool join)
{
    if (!open(port, true) || !setOption(SOL_SOCKET, SO_RCVBUF, "SO_RCVBUF", QueueBytes)
        || !setOption(IPPROTO_IP, IP_RECVTTL, "IP_RECVTTL", 1)
        || !setOption(SOL_SOCKET, SO_RXQ_OVFL, "SO_RXQ_OVFL", 1)) {
        close();
        return false;
    }
    m_group = group;
    if (join && !joinGroup())
        emit joinRefused(error());
    enableReadNotification();
    return true;
}

bool ReceiveSocket::joinGroup()
{
    const bool joined = setMembership(IP_ADD_MEMBERSHIP, "IP_ADD_MEMBERSHIP");
    if (joined)
        m_joinedAtMs = Tick::nowMs();
    return joined;
}

bool ReceiveSocket::leaveGroup()
{
    const bool left = setMembership(IP_DROP_MEMBERSHIP, "IP_DROP_MEMBERSHIP");
    if (left)
        m_joinedAtMs = -1;
    return left;
}

qint64 ReceiveSocket::joinedForMs() const
{
    return m_joinedAtMs < 0 ? -1 : Tick::nowMs() - m_joinedAtMs;
}

bool ReceiveSocket::setMembership(int option, const char* name)
{
    ip_mreq request {};
    request.imr_multiaddr.s_addr = htonl(m_group.toIPv4Address());
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return setOption(IPPROTO_IP, option, name, &request, sizeof request);
}

void ReceiveSocket::readWaiting()
{
    QPointer<ReceiveSocket> alive(this);
    QElapsedTimer pass;
    pass.start();
    for (int i = 0; i < DatagramsPerPass && pass.nsecsElapsed() < PassNanoseconds; ++i) {
        if (!readDatagram() || !alive || !isOpen())
            return;
    }
}

bool ReceiveSocket::readDatagram()
{
    // On the stack, not in the object: a receiver may delete this socket from its signal.
    // UDP payloads over IPv4 are at most 65,507 bytes; this is room enough.
    std::uint8_t buffer[65535];
    quint16 port = 0;
    int ttl = -1;
    const long received = receiveFrom(buffer, sizeof buffer, m_sender, port, ttl, m_drops);
    if (received < 0) {
        if (error() != EAGAIN && error() != EWOULDBLOCK)
            emit receiveFailed(error());
        return false;
    }
    if (received == 0)
        emit emptyDatagramReceived();
    else
        emit datagramReceived(buffer, std::size_t(received), m_sender, port, ttl);
    return true;
}
