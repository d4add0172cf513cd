// A stream's transmitter against a plain sendmmsg loop of the same probes, in one run:
//  1. The highest rate: the plain loop sends batch after batch as fast as it can; the
//     transmitter, in-process, is asked for more than it can send, and the program headless
//     for the most its option takes (1,000,000 a second). The goal is at least 0.9 of the
//     plain loop.
//  2. At asked rates of 1,000, 100,000 and half the plain loop's: the rate achieved (goal:
//     within 1 %), the probes sent late, and the gaps between batches (median, 99th
//     percentile, largest).
// The probes go to a group that nobody on this host joined, so the kernel takes each one
// through loopback and drops it where it arrives: the cost of sending alone.
//   bench_stream <lumivox-tool> [seconds]   (bench/run runs it inside a namespace)

#include "core/Defaults.h"
#include "net/StreamSender.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t SIZE = 1000;
constexpr std::uint16_t PORT = 9710;
const char* const GROUP = "234.5.6.7";
constexpr std::uint32_t MAX_RATE = Limits::rate.max;
constexpr std::uint32_t CEILING_RATE = 10 * MAX_RATE;

struct Target {
    int socket;
    sockaddr_storage to {};
    socklen_t length = sizeof(sockaddr_in);
};

Target openTarget()
{
    Target target { ::socket(AF_INET, SOCK_DGRAM, 0) };
    auto* to = reinterpret_cast<sockaddr_in*>(&target.to);
    to->sin_family = AF_INET;
    to->sin_port = htons(PORT);
    inet_pton(AF_INET, GROUP, &to->sin_addr);
    const int ttl = 16;
    setsockopt(target.socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    return target;
}

double seconds(std::int64_t ns) { return double(ns) / 1e9; }

// Batch after batch of the stream's own prebuilt probes, stamped as the transmitter stamps
// them, with nothing between.
double plainLoop(double duration)
{
    Target target = openTarget();
    StreamProbes probes(StreamSender::BatchSize, SIZE, { 1000, 1, 1 });
    mmsghdr messages[StreamSender::BatchSize] {};
    iovec vectors[StreamSender::BatchSize] {};
    for (std::size_t i = 0; i < StreamSender::BatchSize; ++i)
        messages[i].msg_hdr = { &target.to, target.length, &vectors[i], 1, nullptr, 0, 0 };
    std::uint32_t sequence = 0;
    std::uint64_t sent = 0;
    const std::int64_t start = StreamSender::monotonicNs();
    const std::int64_t end = start + std::int64_t(duration * 1e9);
    std::int64_t now = start;
    while (now < end) {
        for (std::size_t i = 0; i < StreamSender::BatchSize; ++i)
            vectors[i] = { probes.stamp(i, 1, ++sequence, now), SIZE };
        const int count = sendmmsg(target.socket, messages, StreamSender::BatchSize, 0);
        sent += std::uint64_t(std::max(count, 0));
        now = StreamSender::monotonicNs();
    }
    close(target.socket);
    return double(sent) / seconds(now - start);
}

struct Run {
    double achieved = 0;
    std::uint64_t late = 0;
    std::uint64_t failures = 0;
    std::vector<std::int64_t> gaps; // between batches, ns
};

Run transmitter(std::uint32_t rate, double duration)
{
    Target target = openTarget();
    std::vector<std::int64_t> batches;
    batches.reserve(std::size_t(std::min(double(rate), 2e6) * duration) + 1024);
    StreamSender stream(target.socket, target.to, target.length, Pacer::atRate(rate, 1),
        { Pacer::atRate(rate, 1).periodNs(), 1, 1 }, { SIZE, false });
    stream.setBatchObserver([&batches](std::int64_t nowNs, std::size_t) {
        if (batches.size() < batches.capacity())
            batches.push_back(nowNs);
    });
    const std::int64_t start = StreamSender::monotonicNs();
    stream.start();
    usleep(useconds_t(duration * 1e6));
    const StreamSender::Totals before = stream.totals();
    const std::int64_t end = StreamSender::monotonicNs();
    stream.stop(false);
    close(target.socket);
    Run run { double(before.sent + before.failures) / seconds(end - start), before.late,
        before.failures, {} };
    for (std::size_t i = 1; i < batches.size(); ++i)
        run.gaps.push_back(batches[i] - batches[i - 1]);
    std::sort(run.gaps.begin(), run.gaps.end());
    return run;
}

std::int64_t percentile(const std::vector<std::int64_t>& sorted, double fraction)
{
    return sorted.empty()
        ? 0
        : sorted[std::min(sorted.size() - 1, std::size_t(fraction * double(sorted.size())))];
}

// The program itself, headless: the median of the rates its line a second says it achieved.
double program(const char* path, int duration)
{
    const std::string command = std::string(path) + " --headless --json --transmit " + GROUP + ':'
        + std::to_string(PORT) + " --rate " + std::to_string(MAX_RATE) + " --size "
        + std::to_string(SIZE) + " --duration " + std::to_string(duration)
        + " | sed -n 's/.*\"rate\":\\([0-9.]*\\).*/\\1/p'";
    FILE* out = popen(command.c_str(), "r");
    std::vector<double> rates;
    for (double rate = 0; out && std::fscanf(out, "%lf", &rate) == 1;)
        rates.push_back(rate);
    if (out)
        pclose(out);
    std::sort(rates.begin(), rates.end());
    return rates.empty() ? 0 : rates[rates.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_stream <lumivox-tool> [seconds]\n");
        return 2;
    }
    const double duration = argc > 2 ? std::atof(argv[2]) : 3;
    std::printf("%u-byte probes to %s, batches of %zu, %.0f s a run\n", SIZE, GROUP,
        StreamSender::BatchSize, duration);
    // The machine's other work moves both: the best of three rounds, taken in turns. The
    // transmitter is asked for more than the option allows, so that it is always behind and
    // shows its own ceiling.
    double plain = 0;
    double most = 0;
    for (int round = 0; round < 3; ++round) {
        plain = std::max(plain, plainLoop(duration));
        most = std::max(most, transmitter(CEILING_RATE, duration).achieved);
    }
    const double headless = program(argv[1], int(duration));
    std::printf("highest rate, best of 3: plain sendmmsg loop %.0f/s; transmitter asked %u/s: "
                "%.0f/s (%.2f of the plain loop); headless program asked %u/s: %.0f/s\n",
        plain, CEILING_RATE, most, most / plain, MAX_RATE, headless);
    std::printf("%12s %14s %9s %10s %12s %12s %12s\n", "asked/s", "achieved/s", "error", "late",
        "gap median", "gap p99", "gap max");
    for (const std::uint32_t rate :
        { 1000u, 100'000u, std::min(MAX_RATE, std::uint32_t(plain / 2)) }) {
        const Run run = transmitter(rate, duration);
        std::printf("%12u %14.1f %8.3f%% %10llu %9.1f µs %9.1f µs %9.1f µs\n", rate, run.achieved,
            100 * (run.achieved - rate) / rate, static_cast<unsigned long long>(run.late),
            double(percentile(run.gaps, 0.5)) / 1e3, double(percentile(run.gaps, 0.99)) / 1e3,
            run.gaps.empty() ? 0.0 : double(run.gaps.back()) / 1e3);
    }
    return 0;
}
