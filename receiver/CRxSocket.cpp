#include "CRxSocket.h"

#include "CRxSocketOwner.h"
#include "MessageBox.h"
#include "ShowSystemError.h"

#include <QPointer>

#include <arpa/inet.h>
#include <cerrno>

CRxSocket::CRxSocket() = default;

CRxSocket::~CRxSocket() = default;

bool CRxSocket::Bind(const std::string& group, std::uint32_t port, bool join, CRxSocketOwner* owner)
{
    m_pOwner = owner;
    if (!Socket(SOCK_DGRAM, FD_ALL_EVENTS, 0, AF_INET))
        return false;
    const int reuse = 1;
    SetSockOpt(SO_REUSEADDR, &reuse, sizeof reuse, SOL_SOCKET);
    if (!CAsyncSocket::Bind(port)) {
        ShowSystemError(QStringLiteral("CRxSocket::Bind()"));
        Close();
        return false;
    }
    m_strGroup = group;
    if (join && !JoinGroup())
        ShowSystemError(QStringLiteral("CRxSocket::setsockopt(IP_ADD_MEMBERSHIP)"));
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
    return SetSockOpt(option, &request, sizeof request, IPPROTO_IP);
}

void CRxSocket::OnReceive(int)
{
    // On the stack: nothing is allocated per datagram, and a notification that arrives
    // while a box of an earlier one is open gets a buffer of its own.
    std::uint8_t buffer[RX_BUFFER_SIZE];
    std::string address;
    std::uint32_t port = 0;
    const int received = ReceiveFrom(buffer, RX_BUFFER_SIZE, address, port);
    if (received == SOCKET_ERROR) {
        if (GetLastError() != EAGAIN && GetLastError() != EWOULDBLOCK)
            reportOnce({}, QStringLiteral("CRxSocket::Receive()"), true);
        return;
    }
    if (received == 0) {
        reportOnce(QStringLiteral("Got return code of \"0\" from Receive() !"),
            QStringLiteral("CRxSocket::OnReceive"), false);
        return;
    }
    if (m_pOwner)
        m_pOwner->ProcessDatagram(buffer, static_cast<std::size_t>(received), address, port);
}

// A peer can send empty datagrams faster than anyone can close boxes: while one box of
// this socket is open, later reports are dropped instead of stacking boxes.
void CRxSocket::reportOnce(const QString& text, const QString& caption, bool systemError)
{
    if (m_bBoxOpen)
        return;
    m_bBoxOpen = true;
    QPointer<CRxSocket> alive(this);
    if (systemError)
        ShowSystemError(caption);
    else if (m_pOwner)
        m_pOwner->MessageBox(text, caption, MB_OK);
    if (alive)
        m_bBoxOpen = false;
}
