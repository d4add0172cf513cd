#include "platform/CUdpSocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool parseAddress(const std::string& text, in_addr& out)
{
    return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

} // namespace

CUdpSocket::CUdpSocket(QObject* parent)
    : QObject(parent)
{
}

CUdpSocket::~CUdpSocket() { Close(); }

bool CUdpSocket::IsIPv4Address(const std::string& text)
{
    in_addr address {};
    return parseAddress(text, address);
}

bool CUdpSocket::fail()
{
    m_nLastError = errno;
    return false;
}

bool CUdpSocket::Create()
{
    if (IsOpen()) {
        errno = EISCONN;
        return fail();
    }
    m_hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_hSocket < 0)
        return fail();
#ifdef IP_MULTICAST_ALL
    // Deliver only the groups this socket joined itself, never those of another socket
    // on the same host and port.
    SetOption(IPPROTO_IP, IP_MULTICAST_ALL, 0);
#endif
    return true;
}

bool CUdpSocket::Bind(std::uint16_t port)
{
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return fail();
    return true;
}

bool CUdpSocket::SetOption(int level, int option, const void* value, unsigned length)
{
    if (::setsockopt(m_hSocket, level, option, value, length) != 0)
        return fail();
    return true;
}

bool CUdpSocket::SetOption(int level, int option, int value)
{
    return SetOption(level, option, &value, sizeof value);
}

long CUdpSocket::SendTo(
    const void* data, std::size_t length, const std::string& address, std::uint16_t port)
{
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (!parseAddress(address, remote.sin_addr)) {
        errno = EINVAL;
        fail();
        return -1;
    }
    const ssize_t sent = ::sendto(m_hSocket, data, length, MSG_DONTWAIT | MSG_NOSIGNAL,
        reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    if (sent < 0)
        fail();
    return long(sent);
}

long CUdpSocket::ReceiveFrom(
    void* data, std::size_t length, std::string& address, std::uint16_t& port)
{
    sockaddr_in remote {};
    socklen_t remoteLength = sizeof remote;
    const ssize_t received = ::recvfrom(
        m_hSocket, data, length, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&remote), &remoteLength);
    if (received < 0) {
        fail();
        return -1;
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
    address.assign(text);
    port = ntohs(remote.sin_port);
    return long(received);
}

bool CUdpSocket::GetSockName(std::uint16_t& port)
{
    sockaddr_in local {};
    socklen_t localLength = sizeof local;
    if (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return fail();
    port = ntohs(local.sin_port);
    return true;
}

void CUdpSocket::Close()
{
    if (m_pReadNotifier) {
        // This may run from the notifier's own activation: let the event loop delete it
        // once that has unwound.
        m_pReadNotifier->setEnabled(false);
        m_pReadNotifier->disconnect(this);
        m_pReadNotifier->setParent(nullptr);
        m_pReadNotifier->deleteLater();
        m_pReadNotifier = nullptr;
    }
    if (IsOpen()) {
        ::close(m_hSocket);
        m_hSocket = -1;
    }
}

void CUdpSocket::EnableReadNotification()
{
    if (m_pReadNotifier || !IsOpen())
        return;
    m_pReadNotifier = new QSocketNotifier(m_hSocket, QSocketNotifier::Read, this);
    connect(m_pReadNotifier, &QSocketNotifier::activated, this, &CUdpSocket::ReadyRead);
}
