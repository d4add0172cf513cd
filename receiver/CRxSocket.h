#pragma once

#include "platform/CUdpSocket.h"

#include <QPointer>

#include <cstdint>
#include <string>

class QWidget;

// UDP payloads over IPv4 are at most 65,507 bytes; this is room enough.
constexpr std::size_t RX_BUFFER_SIZE = 65535;

// The UDP socket of one running receiver: bound with address reuse to a port on every
// local address, optionally a member of one multicast group.
class CRxSocket : public CUdpSocket {
    Q_OBJECT

public:
    explicit CRxSocket(QObject* parent = nullptr);
    ~CRxSocket() override;

    // False when the port cannot be bound; a refused join is shown and leaves it bound.
    bool Bind(const std::string& group, std::uint16_t port, bool join, QWidget* owner);
    bool JoinGroup();
    bool LeaveGroup();

signals:
    // One non-empty datagram. The bytes live only during the call: connect directly.
    void DatagramReceived(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint16_t port);

private:
    void ReadWaiting();
    // Reads one datagram; false when none could be read.
    bool OnReceive();
    bool setMembership(int option);

    std::string m_strGroup;
    QPointer<QWidget> m_pOwner;
    std::string m_strSender; // reused, so that a datagram allocates nothing
};
