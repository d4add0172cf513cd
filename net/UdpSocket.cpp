#include "net/UdpSocket.h"

#include <QNetworkInterface>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

UdpSocket::UdpSocket(QObject* parent)
    : QObject(parent)
{
}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::fail(const char* option)
{
    m_error = errno;
    m_failedOption = option ? QLatin1String(option) : QString();
    return false;
}

bool UdpSocket::open(QAbstractSocket::NetworkLayerProtocol family, quint16 port, bool reuseAddress)
{
    close();
    m_ipv6 = family == QAbstractSocket::IPv6Protocol;
    m_fd = ::socket(m_ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return fail();
    sockaddr_storage local {};
    const socklen_t localLength = socketAddress(
        m_ipv6 ? QHostAddress(QHostAddress::AnyIPv6) : QHostAddress(QHostAddress::AnyIPv4), port,
        local);
    // Deliver only the groups this socket joined itself, never those of another socket on
    // the same host and port.
    const bool opened
        = (m_ipv6 ? setOption(IPPROTO_IPV6, IPV6_V6ONLY, "IPV6_V6ONLY", 1)
                      && setOption(IPPROTO_IPV6, IPV6_MULTICAST_ALL, "IPV6_MULTICAST_ALL", 0)
                  : setOption(IPPROTO_IP, IP_MULTICAST_ALL, "IP_MULTICAST_ALL", 0))
        && (!reuseAddress || setOption(SOL_SOCKET, SO_REUSEADDR, "SO_REUSEADDR", 1))
        && (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), localLength) == 0 || fail());
    if (!opened)
        close(); // keeps error()
    return opened;
}

bool UdpSocket::setOption(
    int level, int option, const char* name, const void* value, unsigned length)
{
    if (::setsockopt(m_fd, level, option, value, length) != 0)
        return fail(name);
    return true;
}

bool UdpSocket::setOption(int level, int option, const char* name, int value)
{
    return setOption(level, option, name, &value, sizeof value);
}

int UdpSocket::ipLevel() const { return m_ipv6 ? IPPROTO_IPV6 : IPPROTO_IP; }

unsigned UdpSocket::socketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& out)
{
    out = {};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(out);
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof ipv4;
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return 0;
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(out);
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&ipv6.sin6_addr, &bytes, sizeof ipv6.sin6_addr);
    const QString scope = address.scopeId();
    bool numeric = false;
    ipv6.sin6_scope_id = scope.toUInt(&numeric);
    if (!numeric && !scope.isEmpty())
        ipv6.sin6_scope_id = unsigned(QNetworkInterface::interfaceIndexFromName(scope));
    return sizeof ipv6;
}

long UdpSocket::sendTo(
    const std::uint8_t* data, std::size_t length, const QHostAddress& address, quint16 port)
{
    sockaddr_storage remote {};
    const socklen_t remoteLength = socketAddress(address, port, remote);
    const ssize_t sent = ::sendto(m_fd, data, length, MSG_DONTWAIT | MSG_NOSIGNAL,
        reinterpret_cast<const sockaddr*>(&remote), remoteLength);
    if (sent < 0)
        m_error = errno; // the socket stays: a send may work again later
    return long(sent);
}

namespace {

// Dotted decimal, as inet_ntop writes it, without the formatted printing inet_ntop does for
// every datagram.
std::size_t writeIPv4(std::uint32_t address, char* text)
{
    char* end = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned byte = (address >> shift) & 0xff;
        if (byte >= 100)
            *end++ = char('0' + byte / 100);
        if (byte >= 10)
            *end++ = char('0' + byte / 10 % 10);
        *end++ = char('0' + byte % 10);
        if (shift)
            *end++ = '.';
    }
    return std::size_t(end - text);
}

} // namespace

bool UdpSocket::receiveBatch(ReceivedBatch& batch)
{
    for (int i = 0; i < ReceivedBatch::Size; ++i) {
        batch.vectors[i] = { batch.bytes[i], ReceivedBatch::Room };
        msghdr& message = batch.messages[i].msg_hdr;
        message = {};
        message.msg_name = &batch.from[i];
        message.msg_namelen = sizeof batch.from[i];
        message.msg_iov = &batch.vectors[i];
        message.msg_iovlen = 1;
        message.msg_control = batch.control[i];
        message.msg_controllen = ReceivedBatch::ControlRoom;
    }
    batch.count = ::recvmmsg(m_fd, batch.messages, ReceivedBatch::Size, MSG_DONTWAIT, nullptr);
    if (batch.count < 0) {
        m_error = errno;
        batch.count = 0;
        return false;
    }
    return true;
}

ReceivedDatagram UdpSocket::datagramOf(ReceivedBatch& batch, int n)
{
    ReceivedDatagram datagram;
    msghdr& message = batch.messages[n].msg_hdr;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if ((header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL)
            || (header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_HOPLIMIT)) {
            std::memcpy(&datagram.ttl, CMSG_DATA(header), sizeof datagram.ttl);
        } else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SO_RXQ_OVFL) {
            quint32 drops = 0;
            std::memcpy(&drops, CMSG_DATA(header), sizeof drops);
            datagram.drops = drops;
        } else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS) {
            timespec arrived {};
            std::memcpy(&arrived, CMSG_DATA(header), sizeof arrived);
            datagram.arrivalNs = std::int64_t(arrived.tv_sec) * 1'000'000'000 + arrived.tv_nsec;
        }
    }
    const sockaddr_storage& remote = batch.from[n];
    if (remote.ss_family == AF_INET6) {
        const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(remote);
        inet_ntop(AF_INET6, &ipv6.sin6_addr, datagram.address, sizeof datagram.address);
        datagram.addressLength = std::strlen(datagram.address);
        datagram.port = ntohs(ipv6.sin6_port);
    } else {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(remote);
        datagram.addressLength = writeIPv4(ntohl(ipv4.sin_addr.s_addr), datagram.address);
        datagram.port = ntohs(ipv4.sin_port);
    }
    datagram.length = batch.messages[n].msg_len;
    return datagram;
}

quint16 UdpSocket::localPort() const
{
    sockaddr_storage local {};
    socklen_t localLength = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return 0;
    // The port stands at the same place in both families' addresses.
    return ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
}

void UdpSocket::close()
{
    if (m_readNotifier) {
        // This may run from the notifier's own activation: let the event loop delete it
        // once that has unwound.
        m_readNotifier->setEnabled(false);
        m_readNotifier->disconnect(this);
        m_readNotifier->setParent(nullptr);
        m_readNotifier->deleteLater();
        m_readNotifier = nullptr;
    }
    if (isOpen()) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void UdpSocket::enableReadNotification()
{
    if (m_readNotifier || !isOpen())
        return;
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &UdpSocket::readyRead);
}

void UdpSocket::pauseReadNotification(bool paused)
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(!paused);
}
