#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <string>

class QSocketNotifier;

// A non-blocking IPv4 datagram socket over POSIX, for what QUdpSocket does not offer: the
// system's own error codes, IP_MULTICAST_ALL and strict dotted-decimal addresses (a name
// would need a lookup, which could block the one thread). Each object keeps the error code
// of its own last failed call.
class CUdpSocket : public QObject {
    Q_OBJECT

public:
    explicit CUdpSocket(QObject* parent = nullptr);
    ~CUdpSocket() override;

    bool Create();
    bool Bind(std::uint16_t port);
    bool SetOption(int level, int option, const void* value, unsigned length);
    bool SetOption(int level, int option, int value);
    // The bytes sent, or -1.
    long SendTo(
        const void* data, std::size_t length, const std::string& address, std::uint16_t port);
    // One datagram: its length (0 for an empty one), or -1 with LastError() set (EAGAIN
    // when none waits).
    long ReceiveFrom(void* data, std::size_t length, std::string& address, std::uint16_t& port);
    bool GetSockName(std::uint16_t& port);
    void Close();

    bool IsOpen() const { return m_hSocket >= 0; }
    int LastError() const { return m_nLastError; }
    // Only a socket that reads asks to hear of datagrams; one that only sends is never woken.
    void EnableReadNotification();

    // Dotted decimal only, as inet_pton reads it.
    static bool IsIPv4Address(const std::string& text);

signals:
    // Datagrams wait to be read; emitted again while any are left.
    void ReadyRead();

private:
    bool fail();

    int m_hSocket = -1;
    int m_nLastError = 0;
    QSocketNotifier* m_pReadNotifier = nullptr;
};
