#pragma once

#include <QHostAddress>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

class QSocketNotifier;

// Datagrams read in one call, kept on the reader's stack. A probe is at most 1500 bytes and
// is read by its header; a longer datagram is cut short at Room, which changes nothing a
// receiver makes of it.
struct ReceivedBatch {
    static constexpr int Size = 8;
    static constexpr std::size_t Room = 2048;
    static constexpr std::size_t ControlRoom
        = CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(quint32)) + CMSG_SPACE(sizeof(timespec));

    int count = 0;
    std::uint8_t bytes[Size][Room];
    mmsghdr messages[Size];
    iovec vectors[Size];
    sockaddr_storage from[Size];
    alignas(cmsghdr) char control[Size][ControlRoom];
};

// One datagram of a batch: its length, its sender, and what the system told of it. The TTL,
// the drops and the time it arrived are told where IP_RECVTTL (or IPV6_RECVHOPLIMIT),
// SO_RXQ_OVFL and SO_TIMESTAMPNS are on.
struct ReceivedDatagram {
    std::size_t length = 0; // 0 for an empty datagram
    char address[INET6_ADDRSTRLEN] = {}; // the sender's, as text
    std::size_t addressLength = 0;
    quint16 port = 0;
    int ttl = -1; // -1 when not told
    std::optional<quint32> drops; // the datagrams the socket's queue had no room for so far
    std::int64_t arrivalNs = 0; // the kernel's time of arrival (CLOCK_REALTIME); 0 when not told
};

// A non-blocking IPv4 or IPv6 datagram socket over POSIX, for what QUdpSocket does not
// offer: the system's own error codes, IP_MULTICAST_ALL, source-specific joins, the TTL on
// arrival, and which option failed. Each object keeps the error of its own last failed call.
class UdpSocket : public QObject {
    Q_OBJECT

public:
    explicit UdpSocket(QObject* parent = nullptr);
    ~UdpSocket() override;

    // A new socket of the family, IPv4 or IPv6, bound to the port (0: any) on every local
    // address; shared with other sockets when reuse is asked for.
    bool open(QAbstractSocket::NetworkLayerProtocol family, quint16 port, bool reuseAddress);
    // Sets an option; a refusal is kept with the option's name, and nothing else is set.
    bool setOption(int level, int option, const char* name, const void* value, unsigned length);
    bool setOption(int level, int option, const char* name, int value);
    // The bytes sent, or -1.
    long sendTo(
        const std::uint8_t* data, std::size_t length, const QHostAddress& address, quint16 port);
    // Reads up to ReceivedBatch::Size datagrams that wait, in one call; false with error()
    // set (EAGAIN when none waits). Fewer than Size read means the queue was empty.
    bool receiveBatch(ReceivedBatch& batch);
    // What the n-th datagram of a batch says of itself besides its bytes.
    static ReceivedDatagram datagramOf(ReceivedBatch& batch, int n);
    quint16 localPort() const;
    void close();

    bool isOpen() const { return m_fd >= 0; }
    // For a thread that sends on it while its owner keeps it open.
    int descriptor() const { return m_fd; }
    bool isIPv6() const { return m_ipv6; }
    // The level of the family's own options: IPPROTO_IP or IPPROTO_IPV6.
    int ipLevel() const;
    int error() const { return m_error; }
    // The option whose refusal made the last call fail; empty when it was no option.
    QString failedOption() const { return m_failedOption; }
    // Only a socket that reads asks to hear of datagrams; one that only sends is never woken.
    void enableReadNotification();
    // While paused, datagrams wait in the queue without waking the event loop.
    void pauseReadNotification(bool paused);

    // The socket address for an address and port; its length, 0 for no IPv4 or IPv6 address.
    // An IPv6 scope (ff02::1%eth0) names the interface.
    static unsigned socketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& out);

signals:
    // Datagrams wait to be read; emitted again while any are left.
    void readyRead();

private:
    bool fail(const char* option = nullptr);

    int m_fd = -1;
    bool m_ipv6 = false;
    int m_error = 0;
    QString m_failedOption;
    QSocketNotifier* m_readNotifier = nullptr;
};
