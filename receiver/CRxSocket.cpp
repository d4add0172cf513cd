#include "receiver/CRxSocket.h"

#include <QElapsedTimer>
#include <QPointer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>

CRxSocket::CRxSocket(QObject* parent)
    : CUdpSocket(parent)
{
    connect(this, &CUdpSocket::ReadyRead, this, &CRxSocket::ReadWaiting);
}

CRxSocket::~CRxSocket() = default;

bool CRxSocket::Bind(const std::string& group, std::uint16_t port, bool join)
{
    if (!Create())
        return false;
    SetOption(SOL_SOCKET, SO_REUSEADDR, 1);
    // A queue as long as the system allows (it caps the request at net.core.rmem_max):
    // datagrams that arrive while the event loop is busy elsewhere wait instead of being
    // dropped.
    SetOption(SOL_SOCKET, SO_RCVBUF, RX_QUEUE_BYTES);
    if (!CUdpSocket::Bind(port)) {
        Close(); // keeps LastError()
        return false;
    }
    m_strGroup = group;
    if (join && !JoinGroup())
        emit JoinRefused(LastError());
    EnableReadNotification();
    return true;
}

bool CRxSocket::JoinGroup() { return setMembership(IP_ADD_MEMBERSHIP); }

bool CRxSocket::LeaveGroup() { return setMembership(IP_DROP_MEMBERSHIP); }

bool CRxSocket::setMembership(int option)
{
    ip_mreq request {};
    // Text that is no dotted address becomes INADDR_NONE, which the system refuses.
    if (inet_pton(AF_INET, m_strGroup.c_str(), &request.imr_multiaddr) != 1)
        request.imr_multiaddr.s_addr = INADDR_NONE;
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return SetOption(IPPROTO_IP, option, &request, sizeof request);
}

// Several datagrams per pass of the event loop while they are queued: going back to the loop
// for each one would cost more than the datagram itself. The pass ends when none is left, or
// after a small budget, so the window keeps answering under a flood; the notifier calls
// again for what is left.
void CRxSocket::ReadWaiting()
{
    constexpr int MAX_DATAGRAMS_PER_PASS = 128;
    constexpr qint64 MAX_PASS_NS = 2'000'000;
    QPointer<CRxSocket> alive(this);
    QElapsedTimer pass;
    pass.start();
    for (int i = 0; i < MAX_DATAGRAMS_PER_PASS && pass.nsecsElapsed() < MAX_PASS_NS; ++i) {
        if (!OnReceive() || !alive || !IsOpen())
            return;
    }
}

bool CRxSocket::OnReceive()
{
    std::uint8_t buffer[RX_BUFFER_SIZE];
    std::uint16_t port = 0;
    const long received = ReceiveFrom(buffer, sizeof buffer, m_strSender, port);
    if (received < 0) {
        if (LastError() != EAGAIN && LastError() != EWOULDBLOCK)
            emit ReceiveFailed(LastError());
        return false;
    }
    if (received == 0) {
        emit EmptyDatagramReceived();
        return true;
    }
    emit DatagramReceived(buffer, std::size_t(received), m_strSender, port);
    return true;
}
