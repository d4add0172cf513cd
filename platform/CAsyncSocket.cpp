#include "CAsyncSocket.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local int s_lastError = 0;

// Dotted decimal only: a name would need a lookup, which could block the one thread.
bool parseAddress(const char* text, in_addr& out)
{
    return text && inet_pton(AF_INET, text, &out) == 1;
}

} // namespace

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() { Close(); }

int CAsyncSocket::GetLastError() { return s_lastError; }

bool CAsyncSocket::fail()
{
    s_lastError = errno;
    return false;
}

bool CAsyncSocket::Socket(int type, long eventMask, int protocol, int family)
{
    if (m_hSocket >= 0) {
        errno = EISCONN;
        return fail();
    }
    const int handle = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (handle < 0)
        return fail();
    m_hSocket = handle;
    m_lEventMask = eventMask;
#ifdef IP_MULTICAST_ALL
    // Deliver only the groups this socket joined itself, never those of another socket
    // on the same host and port.
    const int off = 0;
    ::setsockopt(m_hSocket, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
#endif
    startNotifier();
    return true;
}

bool CAsyncSocket::Create(std::uint32_t port, int type, long eventMask, const char* address)
{
    if (!Socket(type, eventMask))
        return false;
    if (Bind(port, address))
        return true;
    const int error = s_lastError;
    Close();
    s_lastError = error;
    return false;
}

bool CAsyncSocket::Bind(std::uint32_t port, const char* address)
{
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (port > 65535 || (address && !parseAddress(address, local.sin_addr))) {
        errno = EINVAL;
        return fail();
    }
    if (::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return fail();
    return true;
}

bool CAsyncSocket::SetSockOpt(int option, const void* value, unsigned length, int level)
{
    if (::setsockopt(m_hSocket, level, option, value, length) != 0)
        return fail();
    return true;
}

bool CAsyncSocket::GetSockOpt(int option, void* value, unsigned* length, int level) const
{
    socklen_t size = *length;
    if (::getsockopt(m_hSocket, level, option, value, &size) != 0) {
        s_lastError = errno;
        return false;
    }
    *length = size;
    return true;
}

int CAsyncSocket::SendTo(
    const void* data, int length, std::uint32_t port, const std::string& address, int flags)
{
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port > 65535 || length < 0 || !parseAddress(address.c_str(), remote.sin_addr)) {
        errno = EINVAL;
        fail();
        return SOCKET_ERROR;
    }
    const ssize_t sent = ::sendto(m_hSocket, data, static_cast<std::size_t>(length),
        flags | MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote),
        sizeof remote);
    if (sent < 0) {
        fail();
        return SOCKET_ERROR;
    }
    return static_cast<int>(sent);
}

int CAsyncSocket::ReceiveFrom(
    void* data, int length, std::string& address, std::uint32_t& port, int flags)
{
    // Reading re-arms the notification, whatever the outcome.
    if (m_pReadNotifier)
        m_pReadNotifier->setEnabled(true);
    sockaddr_in remote {};
    socklen_t remoteLength = sizeof remote;
    const ssize_t received = ::recvfrom(m_hSocket, data, static_cast<std::size_t>(length),
        flags | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&remote), &remoteLength);
    if (received < 0) {
        fail();
        return SOCKET_ERROR;
    }
    ++m_nReads;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
    address.assign(text);
    port = ntohs(remote.sin_port);
    return static_cast<int>(received);
}

bool CAsyncSocket::GetSockName(std::string& address, std::uint32_t& port) const
{
    sockaddr_in local {};
    socklen_t localLength = sizeof local;
    if (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        s_lastError = errno;
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    address.assign(text);
    port = ntohs(local.sin_port);
    return true;
}

void CAsyncSocket::Close()
{
    if (m_pReadNotifier) {
        // The notifier may be the one whose activation is on the stack: let the event
        // loop delete it once that has unwound.
        m_pReadNotifier->setEnabled(false);
        m_pReadNotifier->disconnect(this);
        m_pReadNotifier->setParent(nullptr);
        m_pReadNotifier->deleteLater();
        m_pReadNotifier = nullptr;
    }
    if (m_hSocket >= 0) {
        ::close(m_hSocket);
        m_hSocket = -1;
    }
}

void CAsyncSocket::OnReceive(int) { }

void CAsyncSocket::startNotifier()
{
    if (!(m_lEventMask & FD_READ))
        return;
    m_pReadNotifier = new QSocketNotifier(m_hSocket, QSocketNotifier::Read, this);
    connect(m_pReadNotifier, &QSocketNotifier::activated, this, &CAsyncSocket::readReady);
}

// One notification per datagram, as the socket layer promises, but several of them per
// pass of the event loop while datagrams are queued: going back to the loop for each one
// would cost more than the datagram itself. The pass ends when a notification reads
// nothing, or after a small budget, so the window keeps answering under a flood.
void CAsyncSocket::readReady()
{
    constexpr int MAX_NOTIFICATIONS = 128;
    constexpr qint64 MAX_PASS_NS = 2'000'000;
    m_pReadNotifier->setEnabled(false);
    QPointer<CAsyncSocket> alive(this);
    QElapsedTimer pass;
    pass.start();
    for (int i = 0; i < MAX_NOTIFICATIONS && pass.nsecsElapsed() < MAX_PASS_NS; ++i) {
        const unsigned readsBefore = m_nReads;
        OnReceive(0);
        if (!alive || m_nReads == readsBefore || !m_pReadNotifier)
            return;
    }
}
