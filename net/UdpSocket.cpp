#include "net/UdpSocket.h"

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

bool UdpSocket::open(quint16 port, bool reuseAddress)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return fail();
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    // Deliver only the groups this socket joined itself, never those of another socket on
    // the same host and port.
    const bool opened = setOption(IPPROTO_IP, IP_MULTICAST_ALL, "IP_MULTICAST_ALL", 0)
        && (!reuseAddress || setOption(SOL_SOCKET, SO_REUSEADDR, "SO_REUSEADDR", 1))
        && (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 || fail());
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

long UdpSocket::sendTo(
    const std::uint8_t* data, std::size_t length, const QHostAddress& address, quint16 port)
{
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(address.toIPv4Address());
    const ssize_t sent = ::sendto(m_fd, data, length, MSG_DONTWAIT | MSG_NOSIGNAL,
        reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    if (sent < 0)
        m_error = errno; // the socket stays: a send may work again later
    return long(sent);
}

long UdpSocket::receiveFrom(std::uint8_t* data, std::size_t length, std::string& address,
    quint16& port, int& ttl, quint32& drops)
{
    sockaddr_in remote {};
    iovec buffer { data, length };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(quint32))];
    msghdr message {};
    message.msg_name = &remote;
    message.msg_namelen = sizeof remote;
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
    if (received < 0) {
        m_error = errno;
        return -1;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL)
            std::memcpy(&ttl, CMSG_DATA(header), sizeof ttl);
        else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SO_RXQ_OVFL)
            std::memcpy(&drops, CMSG_DATA(header), sizeof drops);
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
    address.assign(text);
    port = ntohs(remote.sin_port);
    return long(received);
}

quint16 UdpSocket::localPort() const
{
    sockaddr_in local {};
    socklen_t localLength = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return 0;
    return ntohs(local.sin_port);
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
