// The highest paced rate of 1000-byte probes from 16 sources that a receiver takes with
// less than 0.1 % loss, found by a binary search in the manner of RFC 2544, for a plain
// recvfrom loop, iperf2's multicast server, lumivox-tool --headless and a receiver panel on
// the offscreen platform, all in one run on this machine. Then the same with one source.
// What a receiver took is what it read, as the kernel counts it (Udp InDatagrams): the
// same measure for every receiver, whatever it is.
//   bench_receive <lumivox-tool> [iperf]     (bench/run runs it inside a namespace)
//   bench_receive --plain-loop | --panel     (the receivers it starts itself)

#include "core/ProbePacket.h"
#include "receiver/ReceiverPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int SIZE = 1000;
constexpr std::uint16_t PORT = 9700;
const char* const GROUP = "234.5.6.7";
constexpr double TRIAL_SECONDS = 1.0;
constexpr double LOSS_ALLOWED = 0.001;
constexpr int SEARCH_STEPS = 8;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Datagrams read by any UDP socket in this network namespace so far.
long udpDatagramsRead()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string names, values;
    while (std::getline(snmp, names) && std::getline(snmp, values)) {
        if (names.rfind("Udp: ", 0) != 0)
            continue;
        std::istringstream keys(names), numbers(values);
        std::string key, number;
        while (keys >> key && numbers >> number) {
            if (key == "InDatagrams")
                return std::stol(number);
        }
    }
    return 0;
}

// The payload a receiver understands: a probe, or for iperf2 its own datagram (a packet
// id and a time stamp, then zeros), of the same size.
enum class Payload { Probe, Iperf };

// The sending sockets, kept for a whole search: a receiver that follows one sender (as
// iperf2 does) must see the same sources in every trial.
struct Sources {
    explicit Sources(int count)
    {
        for (int i = 0; i < count; ++i)
            sockets.push_back(::socket(AF_INET, SOCK_DGRAM, 0));
    }
    ~Sources()
    {
        for (int fd : sockets)
            ::close(fd);
    }
    int count() const { return int(sockets.size()); }
    std::vector<int> sockets;
};

// Sends from every source, round robin, paced at `rate` datagrams a second, for the given
// time; returns how many were sent.
long offer(const Sources& from, double rate, double seconds, Payload payload)
{
    const std::vector<int>& sockets = from.sockets;
    const int sources = from.count();
    sockaddr_in group {};
    group.sin_family = AF_INET;
    group.sin_port = htons(PORT);
    inet_pton(AF_INET, GROUP, &group.sin_addr);
    std::vector<std::uint32_t> sequence(std::size_t(sources), 0);
    std::uint8_t bytes[SIZE] = {};
    long sent = 0;
    const auto start = Clock::now();
    for (long batch = 0;; ++batch) {
        const double due = double(batch) * sources / rate;
        if (due >= seconds || secondsSince(start) >= seconds)
            break;
        while (secondsSince(start) < due) { }
        for (int i = 0; i < sources; ++i) {
            const std::uint32_t number = ++sequence[std::size_t(i)];
            if (payload == Payload::Probe) {
                const auto packet = ProbePacket { ProbePacket::TypeProbe, number, 1 }.build(SIZE);
                std::memcpy(bytes, packet.data(), SIZE);
            } else {
                const std::uint32_t words[]
                    = { htonl(number), htonl(std::uint32_t(time(nullptr))), 0, 0 };
                std::memcpy(bytes, words, sizeof words);
            }
            if (::sendto(sockets[std::size_t(i)], bytes, SIZE, 0,
                    reinterpret_cast<sockaddr*>(&group), sizeof group)
                == SIZE)
                ++sent;
        }
    }
    return sent;
}

// One trial: the share of what was offered that the receiver did not read.
double lossAt(const Sources& from, double rate, Payload payload)
{
    const long before = udpDatagramsRead();
    const long sent = offer(from, rate, TRIAL_SECONDS, payload);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it read its queue
    const long taken = udpDatagramsRead() - before;
    return sent > 0 ? 1.0 - double(taken) / double(sent) : 1.0;
}

// The most one sending thread offers here.
double highestOffer(int sources)
{
    const auto start = Clock::now();
    const long sent = offer(Sources(sources), 1e9, 0.5, Payload::Probe);
    return sent / secondsSince(start);
}

// A rate passes when a trial loses under 0.1 %. The sender and the receiver share two
// cores with everything else here, so a failed trial is tried once more before the rate
// counts as too high.
bool passes(const Sources& from, double rate, Payload payload)
{
    return lossAt(from, rate, payload) < LOSS_ALLOWED || lossAt(from, rate, payload) < LOSS_ALLOWED;
}

double highestRateWithoutLoss(int sources, double ceiling, Payload payload)
{
    const Sources from(sources);
    if (passes(from, ceiling, payload))
        return ceiling;
    double low = 0, high = ceiling;
    for (int step = 0; step < SEARCH_STEPS; ++step) {
        const double middle = (low + high) / 2;
        (passes(from, middle, payload) ? low : high) = middle;
    }
    return low;
}

pid_t startReceiver(const std::vector<std::string>& command)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // bound and joined
    return child;
}

// SIGTERM, as a user would stop it; iperf2 waits for a second one, so after a while it
// is killed.
void stopReceiver(pid_t child)
{
    ::kill(child, SIGTERM);
    int status = 0;
    for (int i = 0; i < 30; ++i) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
}

// The receivers this program starts itself.
int plainLoop()
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
    std::uint8_t buffer[65535];
    for (;;) {
        sockaddr_in from {};
        socklen_t length = sizeof from;
        ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    }
}

int panel(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ReceiverPanel receiver;
    receiver.findChild<QLineEdit*>(QStringLiteral("portEdit"))->setText(QString::number(PORT));
    receiver.show();
    receiver.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
    // The longest the event loop went without turning, told on stderr at the end.
    QElapsedTimer heartbeat;
    qint64 stall = 0;
    QTimer beat;
    QObject::connect(
        &beat, &QTimer::timeout, [&] { stall = std::max(stall, heartbeat.restart()); });
    heartbeat.start();
    beat.start(10);
    std::signal(SIGTERM, [](int) { QMetaObject::invokeMethod(qApp, &QApplication::quit); });
    application.exec();
    std::fprintf(
        stderr, "  panel: longest event-loop stall %lld ms\n", static_cast<long long>(stall));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], "--plain-loop") == 0)
        return plainLoop();
    if (argc >= 2 && std::strcmp(argv[1], "--panel") == 0)
        return panel(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_receive <lumivox-tool> [iperf]\n");
        return 2;
    }
    const std::string self = argv[0];
    const std::string tool = argv[1];
    const std::string iperf = argc > 2 ? argv[2] : "iperf";
    const std::string port = std::to_string(PORT);
    const std::string where = std::string(GROUP) + ":" + port;
    struct Receiver {
        const char* name;
        std::vector<std::string> command;
        Payload payload;
    };
    const std::vector<Receiver> receivers {
        { "plain recvfrom loop", { self, "--plain-loop" }, Payload::Probe },
        { "iperf2 -s -u -B group", { iperf, "-s", "-u", "-B", GROUP, "-p", port }, Payload::Iperf },
        { "lumivox-tool --headless", { tool, "--headless", "--receive", where }, Payload::Probe },
        { "receiver panel (offscreen)", { self, "--panel" }, Payload::Probe },
    };
    for (int sources : { 16, 1 }) {
        const double ceiling = highestOffer(sources);
        std::printf("%d source%s, %d-byte datagrams, highest rate with under %.1f %% loss "
                    "(one sender offers at most %.0f /s here):\n",
            sources, sources == 1 ? "" : "s", SIZE, LOSS_ALLOWED * 100, ceiling);
        std::fflush(stdout);
        double plain = 0;
        for (const Receiver& receiver : receivers) {
            // The better of two searches, each with the receiver started afresh: on a shared
            // machine one search can be thrown by a moment of other work.
            double rate = 0;
            for (int search = 0; search < 2; ++search) {
                const pid_t child = startReceiver(receiver.command);
                rate = std::max(rate, highestRateWithoutLoss(sources, ceiling, receiver.payload));
                stopReceiver(child);
            }
            if (plain == 0)
                plain = rate;
            std::printf("  %-28s %9.0f /s   %.2f of the plain loop\n", receiver.name, rate,
                plain > 0 ? rate / plain : 0.0);
            std::fflush(stdout);
        }
    }
    return 0;
}
