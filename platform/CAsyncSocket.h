#pragma once

#include <QObject>

#include <cstdint>
#include <string>

#include <netinet/in.h>
#include <sys/socket.h>

class QSocketNotifier;

// Notification bits of the event mask; only FD_READ leads to a notification here.
constexpr long FD_READ = 1;
constexpr long FD_WRITE = 2;
constexpr long FD_OOB = 4;
constexpr long FD_ACCEPT = 8;
constexpr long FD_CONNECT = 16;
constexpr long FD_CLOSE = 32;
constexpr long FD_ALL_EVENTS = 63;

constexpr int SOCKET_ERROR = -1;

// A non-blocking IPv4 socket whose readiness arrives as OnReceive() on the thread that
// runs the Qt event loop. As with message-driven sockets, one read notification is given
// and the next only after ReceiveFrom() has been called, so a socket that never reads
// is not woken over and over.
class CAsyncSocket : public QObject {
    Q_OBJECT

public:
    CAsyncSocket();
    ~CAsyncSocket() override;

    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    bool Socket(int type, long eventMask = FD_ALL_EVENTS, int protocol = 0, int family = AF_INET);
    bool Create(std::uint32_t port = 0, int type = SOCK_DGRAM, long eventMask = FD_ALL_EVENTS,
        const char* address = nullptr);
    bool Bind(std::uint32_t port, const char* address = nullptr);
    bool SetSockOpt(int option, const void* value, unsigned length, int level);
    bool GetSockOpt(int option, void* value, unsigned* length, int level) const;
    int SendTo(const void* data, int length, std::uint32_t port, const std::string& address,
        int flags = 0);
    int ReceiveFrom(
        void* data, int length, std::string& address, std::uint32_t& port, int flags = 0);
    bool GetSockName(std::string& address, std::uint32_t& port) const;
    void Close();

    int Handle() const { return m_hSocket; }

    // The error code that the last failed operation of any socket on this thread left.
    static int GetLastError();

protected:
    virtual void OnReceive(int errorCode);

private:
    bool fail();
    void startNotifier();
    void readReady();

    int m_hSocket = -1;
    long m_lEventMask = 0;
    unsigned m_nReads = 0; // datagrams read so far; tells a notification whether it read one
    QSocketNotifier* m_pReadNotifier = nullptr;
};
