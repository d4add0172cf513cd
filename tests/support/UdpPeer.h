#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>

// A plain blocking-free UDP socket for tests to send from and read back with.
class UdpPeer {
public:
    // An exclusive peer binds without address reuse, so that nobody else can bind its port.
    explicit UdpPeer(std::uint16_t bindPort = 0, bool exclusive = false);
    ~UdpPeer();

    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    bool isValid() const { return m_fd >= 0; }
    std::uint16_t port() const;
    bool join(const char* group);
    // Returns the bytes sent, or -1.
    long sendTo(const QByteArray& payload, const char* address, std::uint16_t port);
    // Waits up to timeoutMs for one datagram; empty and ok false when none came. ttl gets
    // the TTL the datagram arrived with.
    QByteArray receive(
        int timeoutMs, bool* ok = nullptr, std::string* from = nullptr, int* ttl = nullptr);

private:
    int m_fd = -1;
};
