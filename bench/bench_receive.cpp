// Receivers compared like for like, each with the same receive queue: a plain recvfrom
// loop, a plain recvmmsg loop, iperf2's multicast server, lumivox-tool --headless and a
// receiver panel on the offscreen platform, all in one run on this machine.
//  1. The highest paced rate of 1000-byte probes from 16 sources, then from one, that a
//     receiver takes with under 0.1 % loss, and with none, found by a binary search in the
//     manner of RFC 2544, offered by several sending threads so that the receiver sets the
//     limit; once with the system's default queue, once with the largest it allows.
//  2. What each datagram costs a receiver: its CPU time (user and system) per datagram
//     taken at a rate every receiver takes, and the ratio to the plain recvfrom loop; with
//     a chart of it.
// What a receiver took is what it read, as the kernel counts it (Udp InDatagrams): the
// same measure for every receiver, whatever it is.
//   bench_receive <lumivox-tool> [chart.svg]   (bench/run runs it inside a namespace)
//   bench_receive --plain-loop QUEUE | --mmsg-loop QUEUE | --panel
//                                                (the receivers it starts itself; QUEUE 0
//                                                 keeps the default)

#include "bench/JoinedSocket.h"
#include "core/ProbePacket.h"
#include "receiver/ReceiverPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
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
constexpr int SENDING_THREADS = 2;
// The fixed rate the cost per datagram is measured at: every receiver takes it.
constexpr double COST_RATE = 20000;
constexpr double COST_SECONDS = 5;
// What the program asks for; the system caps it at net.core.rmem_max.
constexpr int LARGEST_QUEUE = 4 << 20;

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
        : sequence(std::size_t(count))
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
    std::vector<std::atomic<std::uint32_t>> sequence;
};

// One thread's share: every `step`-th datagram of the round robin from `first` on.
long offerShare(Sources& from, double rate, double seconds, Payload payload, int first, int step)
{
    const int sources = from.count();
    sockaddr_in group {};
    group.sin_family = AF_INET;
    group.sin_port = htons(PORT);
    inet_pton(AF_INET, GROUP, &group.sin_addr);
    std::uint8_t bytes[SIZE] = {};
    long sent = 0;
    const auto start = Clock::now();
    for (long n = first;; n += step) {
        const double due = double(n) / rate;
        if (due >= seconds || secondsSince(start) >= seconds)
            break;
        while (secondsSince(start) < due) { }
        const auto i = std::size_t(n % sources);
        const std::uint32_t number = ++from.sequence[i];
        if (payload == Payload::Probe) {
            const auto packet = ProbePacket { ProbePacket::TypeProbe, number, 1 }.build(SIZE);
            std::memcpy(bytes, packet.data(), SIZE);
        } else {
            const std::uint32_t words[]
                = { htonl(number), htonl(std::uint32_t(time(nullptr))), 0, 0 };
            std::memcpy(bytes, words, sizeof words);
        }
        if (::sendto(
                from.sockets[i], bytes, SIZE, 0, reinterpret_cast<sockaddr*>(&group), sizeof group)
            == SIZE)
            ++sent;
    }
    return sent;
}

// Sends from every source, round robin, paced at `rate` datagrams a second in all, from
// `threads` threads, for the given time; returns how many were sent.
long offer(Sources& from, double rate, double seconds, Payload payload, int threads)
{
    std::vector<long> sent(std::size_t(threads), 0);
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t)
        senders.emplace_back([&, t] {
            sent[std::size_t(t)] = offerShare(from, rate, seconds, payload, t, threads);
        });
    for (std::thread& sender : senders)
        sender.join();
    long total = 0;
    for (long share : sent)
        total += share;
    return total;
}

// One trial: the share of what was offered that the receiver did not read.
double lossAt(Sources& from, double rate, Payload payload)
{
    const long before = udpDatagramsRead();
    const long sent = offer(from, rate, TRIAL_SECONDS, payload, SENDING_THREADS);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it read its queue
    const long taken = udpDatagramsRead() - before;
    return sent > 0 ? 1.0 - double(taken) / double(sent) : 1.0;
}

// The most the sending threads offer here.
double highestOffer(int sources)
{
    Sources from(sources);
    const auto start = Clock::now();
    const long sent = offer(from, 1e9, 0.5, Payload::Probe, SENDING_THREADS);
    return sent / secondsSince(start);
}

// A rate passes when a trial loses under the loss allowed, or nothing at all where none is.
// The sender and the receiver share two cores with everything else here, so a failed trial
// is tried once more before the rate counts as too high.
bool passes(Sources& from, double rate, Payload payload, double allowed)
{
    const auto within = [allowed](double loss) { return allowed > 0 ? loss < allowed : loss == 0; };
    return within(lossAt(from, rate, payload)) || within(lossAt(from, rate, payload));
}

double highestRateWithoutLoss(int sources, double ceiling, Payload payload, double allowed)
{
    Sources from(sources);
    if (passes(from, ceiling, payload, allowed))
        return ceiling;
    double low = 0, high = ceiling;
    for (int step = 0; step < SEARCH_STEPS; ++step) {
        const double middle = (low + high) / 2;
        (passes(from, middle, payload, allowed) ? low : high) = middle;
    }
    return low;
}

// Starts a receiver with the environment given (NAME=VALUE), once it has had time to bind
// and join.
pid_t startReceiver(const std::vector<std::string>& command, const std::string& environment)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (!environment.empty())
            ::putenv(const_cast<char*>(environment.c_str()));
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

// The CPU time a process has used, user and system, in seconds.
double cpuSeconds(pid_t process)
{
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) // utime, stime
            ticks += std::stod(field);
    }
    return ticks / double(::sysconf(_SC_CLK_TCK));
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
int plainLoop(int queue)
{
    const int fd = joinedSocket(GROUP, PORT, queue);
    std::uint8_t buffer[65535];
    for (;;) {
        sockaddr_in from {};
        socklen_t length = sizeof from;
        ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    }
}

// Up to 64 datagrams a call, waiting for the first.
int mmsgLoop(int queue)
{
    const int fd = joinedSocket(GROUP, PORT, queue);
    constexpr int BATCH = 64;
    static std::uint8_t buffers[BATCH][2048];
    sockaddr_in from[BATCH] {};
    iovec vectors[BATCH] {};
    mmsghdr messages[BATCH] {};
    for (;;) {
        for (int i = 0; i < BATCH; ++i) {
            vectors[i] = { buffers[i], sizeof buffers[i] };
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &from[i];
            messages[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        ::recvmmsg(fd, messages, BATCH, MSG_WAITFORONE, nullptr);
    }
}

int panel(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    HostContext host;
    ReceiverPanel receiver(host);
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

struct Receiver {
    const char* name;
    std::vector<std::string> command;
    std::string environment;
    Payload payload = Payload::Probe;
    bool oneSourceOnly = false; // iperf2 follows the first sender of a group
};

// Every receiver, with the queue asked for: 0 for the system's default.
std::vector<Receiver> receivers(const std::string& self, const std::string& tool, int queue)
{
    const std::string port = std::to_string(PORT);
    const std::string asked = std::to_string(queue);
    const std::string where = std::string(GROUP) + ":" + port;
    const std::string ours = queue ? "" : "LUMIVOX_RECEIVE_QUEUE=default";
    std::vector<std::string> iperf { "iperf", "-s", "-u", "-B", GROUP, "-p", port };
    if (queue)
        iperf.insert(iperf.end(), { "-w", asked });
    return {
        { "plain recvfrom loop", { self, "--plain-loop", asked }, "" },
        { "plain recvmmsg loop", { self, "--mmsg-loop", asked }, "" },
        { "iperf2", iperf, "", Payload::Iperf, true },
        { "headless", { tool, "--headless", "--receive", where }, ours },
        { "panel", { self, "--panel" }, ours },
    };
}

void zeroLossRates(const std::string& self, const std::string& tool)
{
    for (const int queue : { 0, LARGEST_QUEUE }) {
        std::printf("queue: %s\n",
            queue ? "the largest the system allows (what the program asks for; iperf2 -w)"
                  : "the system's default");
        for (const int sources : { 16, 1 }) {
            const double ceiling = highestOffer(sources);
            std::printf("  %d source%s, %d-byte datagrams, highest rate with under %.1f %% loss, "
                        "then with none (%d sending threads offer at most %.0f /s here):\n",
                sources, sources == 1 ? "" : "s", SIZE, LOSS_ALLOWED * 100, SENDING_THREADS,
                ceiling);
            std::fflush(stdout);
            double plain = 0;
            for (const Receiver& receiver : receivers(self, tool, queue)) {
                if (receiver.oneSourceOnly && sources > 1)
                    continue;
                const pid_t child = startReceiver(receiver.command, receiver.environment);
                const double rate
                    = highestRateWithoutLoss(sources, ceiling, receiver.payload, LOSS_ALLOWED);
                const double lossless
                    = highestRateWithoutLoss(sources, ceiling, receiver.payload, 0);
                stopReceiver(child);
                if (plain == 0)
                    plain = rate;
                std::printf("    %-22s %9.0f /s   %.2f of the plain recvfrom loop;   none lost: "
                            "%9.0f /s\n",
                    receiver.name, rate, plain > 0 ? rate / plain : 0.0, lossless);
                std::fflush(stdout);
            }
        }
    }
}

// The median of three measures of CPU time per datagram taken, at a rate all take.
double nanosecondsPerDatagram(const Receiver& receiver)
{
    std::vector<double> runs;
    for (int run = 0; run < 3; ++run) {
        const pid_t child = startReceiver(receiver.command, receiver.environment);
        Sources from(receiver.oneSourceOnly ? 1 : 16);
        const double cpuBefore = cpuSeconds(child);
        const long before = udpDatagramsRead();
        offer(from, COST_RATE, COST_SECONDS, receiver.payload, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long taken = udpDatagramsRead() - before;
        const double used = cpuSeconds(child) - cpuBefore;
        stopReceiver(child);
        runs.push_back(taken > 0 ? used / double(taken) * 1e9 : 0);
    }
    std::sort(runs.begin(), runs.end());
    return runs[1];
}

// A bar a receiver, its cost in nanoseconds per datagram.
void writeChart(const std::string& path, const std::vector<std::pair<std::string, double>>& costs)
{
    std::FILE* chart = std::fopen(path.c_str(), "w");
    if (!chart)
        return;
    double most = 1;
    for (const auto& cost : costs)
        most = std::max(most, cost.second);
    const int rowHeight = 34, left = 170, width = 420;
    std::fprintf(chart,
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "font-family=\"DejaVu Sans, sans-serif\" font-size=\"13\">\n"
        "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
        "<text x=\"10\" y=\"20\" font-weight=\"bold\">CPU time per datagram taken, %.0f /s from "
        "16 sources (ns)</text>\n",
        left + width + 90, 40 + rowHeight * int(costs.size()), COST_RATE);
    int y = 36;
    for (const auto& [name, nanoseconds] : costs) {
        const double bar = width * nanoseconds / most;
        std::fprintf(chart,
            "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n"
            "<rect x=\"%d\" y=\"%d\" width=\"%.0f\" height=\"22\" fill=\"%s\"/>\n"
            "<text x=\"%.0f\" y=\"%d\">%.0f</text>\n",
            left - 8, y + 16, name.c_str(), left, y, bar,
            name == "headless" || name == "panel" ? "#2a7ab0" : "#9aa5ad", left + bar + 6, y + 16,
            nanoseconds);
        y += rowHeight;
    }
    std::fprintf(chart, "</svg>\n");
    std::fclose(chart);
}

void costPerDatagram(const std::string& self, const std::string& tool, const std::string& chart)
{
    std::printf("cost per datagram at %.0f /s from 16 sources (iperf2: one) for %.0f s, the "
                "system's default queue, median of 3:\n",
        COST_RATE, COST_SECONDS);
    std::vector<std::pair<std::string, double>> costs;
    double plain = 0;
    for (const Receiver& receiver : receivers(self, tool, 0)) {
        const double nanoseconds = nanosecondsPerDatagram(receiver);
        if (plain == 0) {
            plain = nanoseconds;
            std::printf("cpu per datagram: %s %.0f ns\n", receiver.name, nanoseconds);
        } else {
            std::printf("cpu per datagram: %s %.0f ns, %.2f of the plain recvfrom loop\n",
                receiver.name, nanoseconds, nanoseconds / plain);
        }
        std::fflush(stdout);
        costs.emplace_back(receiver.name, nanoseconds);
    }
    if (!chart.empty())
        writeChart(chart, costs);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], "--plain-loop") == 0)
        return plainLoop(std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "--mmsg-loop") == 0)
        return mmsgLoop(std::atoi(argv[2]));
    if (argc >= 2 && std::strcmp(argv[1], "--panel") == 0)
        return panel(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_receive <lumivox-tool> [chart.svg] [--cost-only]\n");
        return 2;
    }
    const std::string chart = argc > 2 && argv[2][0] != '-' ? argv[2] : "";
    costPerDatagram(argv[0], argv[1], chart);
    if (std::string(argv[argc - 1]) != "--cost-only")
        zeroLossRates(argv[0], argv[1]);
    return 0;
}
