// How many datagrams a receiver panel takes in (parse, table, row) against a plain
// recvfrom loop, under the same offered load from 16 senders on this machine, and the
// longest the event loop stalls meanwhile. Run it through bench/run (inside a namespace).

#include "probe/CProbePacket.h"
#include "receiver/CAddRx.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int SOURCES = 16;
constexpr int SIZE = 1000;
constexpr std::uint16_t PORT = 9700;
const char* const GROUP = "234.5.6.7";
constexpr double SECONDS = 3.0;

// Sends datagrams from 16 sockets, round robin, at a given rate per second, or as fast
// as the machine lets it (rate 0).
class Sender {
public:
    Sender(bool probes, double rate)
        : m_probes(probes)
        , m_rate(rate)
    {
        for (int i = 0; i < SOURCES; ++i) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            const int loop = 1;
            ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
            m_sockets.push_back(fd);
        }
        m_thread = std::thread([this] { run(); });
    }

    ~Sender()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_sockets)
            ::close(fd);
    }

    long sent() const { return m_sent; }

private:
    void run()
    {
        sockaddr_in group {};
        group.sin_family = AF_INET;
        group.sin_port = htons(PORT);
        inet_pton(AF_INET, GROUP, &group.sin_addr);
        std::vector<std::uint32_t> sequence(SOURCES, 0);
        std::vector<std::uint8_t> foreign(SIZE, 'x');
        const auto start = std::chrono::steady_clock::now();
        long batches = 0;
        while (!m_stop) {
            if (m_rate > 0) {
                // Hold back until the schedule allows the next batch.
                const double due = double(batches) * SOURCES / m_rate;
                while (!m_stop
                    && std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count()
                        < due) { }
            }
            ++batches;
            for (int i = 0; i < SOURCES; ++i) {
                CProbePacket packet(1, ++sequence[i], 1, SIZE);
                const std::uint8_t* bytes = m_probes ? packet.Build() : foreign.data();
                if (::sendto(m_sockets[i], bytes, SIZE, 0, reinterpret_cast<sockaddr*>(&group),
                        sizeof group)
                    == SIZE)
                    ++m_sent;
            }
        }
    }

    bool m_probes;
    double m_rate;
    std::vector<int> m_sockets;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<long> m_sent { 0 };
};

struct Result {
    double offered = 0; // per second
    double taken = 0; // per second
    qint64 stallMs = 0;
};

int joinedSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(PORT);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ip_mreq request {};
    inet_pton(AF_INET, GROUP, &request.imr_multiaddr);
    ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    return fd;
}

// The most a sender can offer here, with a member of the group that reads nothing.
double highestRate(bool probes)
{
    const int idle = joinedSocket();
    double rate = 0;
    {
        Sender sender(probes, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        rate = sender.sent() / 1.5;
    }
    ::close(idle);
    return rate;
}

Result plainLoop(bool probes, double rate)
{
    // Never sleeps: a blocking receive would be woken for each datagram, which slows the
    // sender and so lowers the load it is measured against.
    const int fd = joinedSocket();

    long taken = 0;
    std::uint8_t buffer[65535];
    Sender sender(probes, rate);
    const auto start = std::chrono::steady_clock::now();
    while (
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < SECONDS) {
        sockaddr_in from {};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                &length)
            > 0)
            ++taken;
    }
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Result result { sender.sent() / elapsed, taken / elapsed, 0 };
    ::close(fd);
    return result;
}

// Datagrams the kernel dropped for lack of room at the sockets bound to a port.
long udpDrops(std::uint16_t port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    long drops = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (std::stoul(local.substr(local.find(':') + 1), nullptr, 16) != port)
            continue;
        while (fields >> field) { }
        drops += std::stol(field);
    }
    return drops;
}

Result panel(bool probes, double rate)
{
    // What the panel took is what was sent less what the kernel dropped at its socket: it
    // reads until its queue is empty before the count is taken.
    CAddRx receiver;
    receiver.findChild<QLineEdit*>(QStringLiteral("IDC_RX_PORT"))->setText(QString::number(PORT));
    receiver.show();
    receiver.findChild<QPushButton*>(QStringLiteral("IDC_RX_START"))->click();

    QElapsedTimer heartbeat;
    qint64 stall = 0;
    QTimer beat;
    beat.setInterval(10);
    QObject::connect(
        &beat, &QTimer::timeout, [&] { stall = std::max(stall, heartbeat.restart()); });
    heartbeat.start();
    beat.start();

    const long dropsBefore = udpDrops(PORT);
    QElapsedTimer clock;
    clock.start();
    long sent = 0;
    double elapsed = 0;
    {
        Sender sender(probes, rate);
        QEventLoop loop;
        QTimer::singleShot(int(SECONDS * 1000), &loop, &QEventLoop::quit);
        loop.exec();
        elapsed = clock.nsecsElapsed() / 1e9;
        sent = sender.sent();
    }
    QEventLoop drain;
    QTimer::singleShot(300, &drain, &QEventLoop::quit);
    drain.exec();
    const long taken = sent - (udpDrops(PORT) - dropsBefore);
    return { sent / elapsed, taken / elapsed, stall };
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    for (bool probes : { true, false }) {
        const char* what = probes ? "probes" : "foreign datagrams";
        const double rate = highestRate(probes);
        const Result plain = plainLoop(probes, rate);
        const Result ours = panel(probes, rate);
        std::printf("%s, %d bytes from %d sources, offered at the highest rate a sender "
                    "reaches here, %.0f /s:\n",
            what, SIZE, SOURCES, rate);
        std::printf("  plain recvfrom loop: %9.0f /s taken of %9.0f /s offered\n", plain.taken,
            plain.offered);
        std::printf("  receiver panel:      %9.0f /s taken of %9.0f /s offered\n", ours.taken,
            ours.offered);
        std::printf("  ratio: %.2f   longest event-loop stall: %lld ms\n", ours.taken / plain.taken,
            static_cast<long long>(ours.stallMs));
    }
    return 0;
}
