#pragma once

#include "net/Parsing.h"
#include "net/UdpSocket.h"

#include <QTimer>

// The socket of one running receiver: bound with address reuse to a port on every local
// address, and a member of one multicast group while asked to be.
class ReceiveSocket : public UdpSocket {
    Q_OBJECT

public:
    explicit ReceiveSocket(QObject* parent = nullptr);

    // Binds the endpoint's port in its group's family. False when the port cannot be had
    // (error() and failedOption() tell why). A refused join leaves it bound and says so
    // through joinRefused(). Joins take the group from the endpoint's source only, if it
    // names one, on the interface given (0: the system's choice).
    bool bind(const Endpoint& where, int interfaceIndex, bool join);
    bool joinGroup();
    bool leaveGroup();
    // Joins again when the interface it joined on (the one chosen, or the route's at the
    // join), known by its name, is back with another index or other addresses: the kernel
    // forgot the membership with the old interface. Leaves by the old index first, as the
    // socket still holds that membership. Gone while the interface is; error() tells why a
    // join was refused.
    enum class Rejoin { NotNeeded, Joined, Refused, Gone };
    Rejoin rejoinIfMoved();
    // Holds the membership: joined, and not left, refused or gone with its interface since.
    bool isMember() const { return m_isMember; }
    // The interface joined on, by name; empty when it cannot be known (an IPv6 group on the
    // system's route).
    const QString& joinedInterface() const { return m_joinedName; }
    int joinedInterfaceIndex() const { return m_joinedIndex; }
    // Reads what is waiting, in one pass bounded in count and time so that a flood cannot
    // hold the event loop. Runs when datagrams arrive, while a stream gathers, and once more
    // before closing.
    void readWaiting();
    // The datagrams this host dropped for want of room in the socket's queue.
    quint32 drops() const { return m_drops; }
    // When the group was last joined, by the tick's clock; -1 before any join or after a leave.
    qint64 joinedAtMs() const { return m_joinedAtMs; }

signals:
    // One non-empty datagram, the TTL it arrived with, and when (the kernel's CLOCK_REALTIME
    // nanoseconds). The bytes live only during the call: connect directly.
    void datagramReceived(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        quint16 port, int ttl, qint64 arrivalNs);
    void emptyDatagramReceived();
    void receiveFailed(int error);
    void joinRefused(int error);

private:
    bool setMembership(bool join);
    void rememberJoin();
    void gather(bool streaming);

    Endpoint m_where;
    int m_interfaceIndex = 0;
    qint64 m_joinedAtMs = -1;
    bool m_isMember = false;
    QString m_joinedName;
    int m_joinedIndex = 0;
    QList<QHostAddress> m_joinedAddresses;
    quint32 m_drops = 0;
    std::string m_sender; // reused, so that a datagram allocates nothing
    QTimer m_gathering;
};
