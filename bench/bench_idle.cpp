// CPU the program uses while 50 transmitters send once a second to 50 receivers, all in
// one main window: the median of five runs of 10 seconds. Against it, the floor: the same
// traffic sent and read by a bare poll loop, which is what the kernel and the least a
// program can do cost on this machine. Run it through bench/run.

#include "bench/JoinedSocket.h"
#include "receiver/ReceiverPanel.h"
#include "shell/MainWindow.h"
#include "transmitter/TransmitterPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int PANELS = 50;
constexpr int SECONDS = 10;
constexpr int RUNS = 5;
constexpr std::uint16_t PORT = 8910;
const char* const GROUP = "234.5.6.7";

// User and system time together; or the system's share alone.
double cpuSeconds(bool systemOnly = false)
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds
        = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_stime) + (systemOnly ? 0 : seconds(usage.ru_utime));
}

struct Share {
    double median = 0, low = 0, high = 0, kernel = 0; // % of one core
};

// Five windows of ten seconds each; the median of them, as a shared machine's other work
// moves any one.
Share measure(const std::function<void(int seconds)>& run)
{
    std::vector<double> shares;
    Share share;
    for (int i = 0; i < RUNS; ++i) {
        const double before = cpuSeconds(), systemBefore = cpuSeconds(true);
        run(SECONDS);
        shares.push_back(100.0 * (cpuSeconds() - before) / SECONDS);
        share.kernel += 100.0 * (cpuSeconds(true) - systemBefore) / SECONDS / RUNS;
    }
    std::sort(shares.begin(), shares.end());
    share.median = shares[RUNS / 2];
    share.low = shares.front();
    share.high = shares.back();
    return share;
}

// The same traffic without the program: 50 sockets send a datagram of 1000 bytes each on
// the second's tick, and 50 joined sockets are read by one poll loop, up to 64 datagrams a
// call, waking every quarter of a second as the program's tick does.
class BareLoop {
public:
    BareLoop()
    {
        m_group.sin_family = AF_INET;
        m_group.sin_port = htons(PORT);
        inet_pton(AF_INET, GROUP, &m_group.sin_addr);
        for (int i = 0; i < PANELS; ++i) {
            m_senders.push_back(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0));
            m_receivers.push_back({ joinedSocket(GROUP, PORT), POLLIN, 0 });
        }
        for (int i = 0; i < BATCH; ++i) {
            m_vectors[i] = { m_buffers[i], sizeof m_buffers[i] };
            m_messages[i].msg_hdr.msg_iov = &m_vectors[i];
            m_messages[i].msg_hdr.msg_iovlen = 1;
        }
    }
    ~BareLoop()
    {
        for (const int fd : m_senders)
            ::close(fd);
        for (const pollfd& receiver : m_receivers)
            ::close(receiver.fd);
    }
    BareLoop(const BareLoop&) = delete;
    BareLoop& operator=(const BareLoop&) = delete;

    void run(int seconds)
    {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            const auto wait
                = std::chrono::duration_cast<std::chrono::milliseconds>(m_nextTick - Clock::now());
            if (::poll(m_receivers.data(), m_receivers.size(), std::max<int>(0, wait.count())) > 0)
                read();
            if (Clock::now() < m_nextTick)
                continue;
            m_nextTick += std::chrono::milliseconds(250);
            m_phase = (m_phase + 1) % 4;
            if (m_phase == 0)
                send();
        }
    }

    long datagramsRead() const { return m_read; }

private:
    static constexpr int BATCH = 64;

    void send()
    {
        for (const int fd : m_senders)
            ::sendto(fd, m_probe, sizeof m_probe, 0, reinterpret_cast<const sockaddr*>(&m_group),
                sizeof m_group);
    }
    void read()
    {
        for (const pollfd& receiver : m_receivers) {
            if (!(receiver.revents & POLLIN))
                continue;
            int count = 0;
            do {
                count = ::recvmmsg(receiver.fd, m_messages, BATCH, MSG_DONTWAIT, nullptr);
                m_read += std::max(count, 0);
            } while (count == BATCH);
        }
    }

    sockaddr_in m_group {};
    std::vector<int> m_senders;
    std::vector<pollfd> m_receivers;
    std::uint8_t m_probe[1000] {};
    std::uint8_t m_buffers[BATCH][2048] {};
    iovec m_vectors[BATCH] {};
    mmsghdr m_messages[BATCH] {};
    std::chrono::steady_clock::time_point m_nextTick = std::chrono::steady_clock::now();
    int m_phase = 0;
    long m_read = 0;
};

void open(QWidget* panel, const char* field, const char* value, const char* start)
{
    panel->findChild<QLineEdit*>(QLatin1String(field))->setText(QLatin1String(value));
    panel->findChild<QAbstractButton*>(QLatin1String(start))->click();
}

void print(const char* what, const Share& share, const char* tail)
{
    std::printf("%s: %.2f %% of one core (median of %d runs of %d s, from %.2f to %.2f; %.2f in "
                "the kernel on average), %s\n",
        what, share.median, RUNS, SECONDS, share.low, share.high, share.kernel, tail);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    Share floor;
    long floorRead = 0;
    {
        BareLoop bare;
        bare.run(2);
        floor = measure([&bare](int seconds) { bare.run(seconds); });
        floorRead = bare.datagramsRead();
    }

    HostContext host;
    MainWindow window(host);
    window.show();
    for (int i = 0; i < PANELS; ++i) {
        open(window.addTransmitter(), "periodEdit", "1", "startButton");
        open(window.addReceiver(), "portEdit", "8910", "startButton");
    }
    // Let the windows settle before measuring.
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();
    const Share idle = measure([](int seconds) {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    });

    char tail[160];
    std::snprintf(tail, sizeof tail,
        "with %d transmitters at period 1 and %d receivers, %d probes/s taken in", PANELS, PANELS,
        PANELS * PANELS);
    print("idle", idle, tail);
    std::snprintf(tail, sizeof tail, "the same traffic in a bare poll loop, %ld datagrams/s read",
        floorRead / (2 + RUNS * SECONDS));
    print("idle floor", floor, tail);
    return 0;
}
