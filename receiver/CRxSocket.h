#pragma once

#include "platform/CUdpSocket.h"

#include <cstdint>
#include <string>

// UDP payloads over IPv4 are at most 65,507 bytes; this is room enough.
constexpr std::size_t RX_BUFFER_SIZE = 65535;
constexpr int RX_QUEUE_BYTES = 4 << 20;

// The UDP socket of one running receiver: bound with address reuse to a port on every
// local address, optionally a member of one multicast group.
class CRxSocket : public CUdpSocket {
    Q_OBJECT

public:
    explicit CRxSocket(QObject* parent = nullptr);
    ~CRxSocket() override;

    // False when the port cannot be bound (LastError() tells why). A refused join leaves
    // it bound and says so through JoinRefused.
    bool Bind(const std::string& group, std::uint16_t port, bool join);
    bool JoinGroup();
    bool LeaveGroup();
    // Reads what is waiting, in one pass bounded in count and time so that a flood cannot
    // hold the event loop. Called when datagrams arrive, and once more before closing.
    void ReadWaiting();

signals:
    // One non-empty datagram. The bytes live only during the call: connect directly.
    void DatagramReceived(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint16_t port);
    void EmptyDatagramReceived();
    void ReceiveFailed(int error);
    void JoinRefused(int error);

private:
    // Reads one datagram; false when none could be read.
    bool OnReceive();
    bool setMembership(int option);

    std::string m_strGroup;
    std::string m_strSender; // reused, so that a datagram allocates nothing
};
