#include "UdpPeer.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

UdpPeer::UdpPeer(std::uint16_t bindPort, bool exclusive)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    const int on = 1;
    if (!exclusive)
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const int off = 0;
    ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
    ::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
    ::setsockopt(m_fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    const int bufferSize = 4 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(bindPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

UdpPeer::~UdpPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint16_t UdpPeer::port() const
{
    sockaddr_in local {};
    socklen_t length = sizeof local;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

bool UdpPeer::join(const char* group)
{
    ip_mreq request {};
    inet_pton(AF_INET, group, &request.imr_multiaddr);
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
}

long UdpPeer::sendTo(const QByteArray& payload, const char* address, std::uint16_t port)
{
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return ::sendto(m_fd, payload.constData(), static_cast<std::size_t>(payload.size()), 0,
        reinterpret_cast<sockaddr*>(&remote), sizeof remote);
}

QByteArray UdpPeer::receive(int timeoutMs, bool* ok, std::string* from, int* ttl)
{
    if (ok)
        *ok = false;
    pollfd waitFor { m_fd, POLLIN, 0 };
    if (::poll(&waitFor, 1, timeoutMs) != 1)
        return {};
    QByteArray data(65536, Qt::Uninitialized);
    sockaddr_in remote {};
    iovec buffer { data.data(), std::size_t(data.size()) };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message {};
    message.msg_name = &remote;
    message.msg_namelen = sizeof remote;
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
    if (received < 0)
        return {};
    data.resize(received);
    if (ok)
        *ok = true;
    if (from) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
        *from = text;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); ttl && header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_TTL)
            std::memcpy(ttl, CMSG_DATA(header), sizeof *ttl);
    }
    return data;
}
