// The cost of one accepted datagram (parse and table) with few and with many known
// sources, and the memory each source takes. Plain C++, like the core it measures. Run it
// through bench/run.

#include "core/ProbePacket.h"
#include "core/SourceTable.h"
#include "core/StreamProbes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

struct Sender {
    std::string address;
    std::uint32_t port;
};

std::vector<Sender> senders(int count)
{
    std::vector<Sender> out;
    for (int i = 0; i < count; ++i)
        out.push_back({ "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256)
                + "." + std::to_string(i % 256),
            std::uint32_t(5000 + i % 7) });
    return out;
}

template <class Body> double nanosecondsEach(long count, Body body)
{
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i)
        body(i);
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
               .count()
        / double(count);
}

// A plain probe, or a stream's (its block read for the exact period); timed, each with the
// kernel's time of arrival, so that its jitter, rate and outages are kept.
enum class Probes { Plain, Stream, TimedStream };

double acceptCost(int sources, Probes probes = Probes::Plain)
{
    SourceTable table;
    const auto from = senders(sources);
    StreamProbes stream(1, 1000, { 1'000'000, 1, 1 });
    std::vector<std::uint8_t> bytes = ProbePacket { ProbePacket::TypeProbe, 1, 5 }.build(1000);
    if (probes != Probes::Plain) {
        const std::uint8_t* stamped = stream.stamp(0, ProbePacket::TypeProbe, 1, 1);
        bytes.assign(stamped, stamped + 1000);
    }
    ProbeTiming timing;
    for (int i = 0; i < sources; ++i)
        table.countProbe(bytes.data(), bytes.size(), from[i].address, from[i].port, 0, 0);
    const long rounds = std::max(200000L, long(sources) * 20);
    return nanosecondsEach(rounds, [&](long i) {
        const Sender& sender = from[std::size_t(i % sources)];
        const std::uint32_t sequence = std::uint32_t(i / sources + 2);
        bytes[35] = std::uint8_t(sequence >> 24);
        bytes[36] = std::uint8_t(sequence >> 16);
        bytes[37] = std::uint8_t(sequence >> 8);
        bytes[38] = std::uint8_t(sequence);
        if (probes == Probes::TimedStream)
            timing.arrivalNs = 1'700'000'000'000'000'000 + i * 1000;
        table.countProbe(
            bytes.data(), bytes.size(), sender.address, sender.port, i / 1000, i, -1, timing);
    });
}

// With each source heard this many times: once, as a forged one is, or enough for a full
// history.
double bytesPerSource(int sources, std::uint32_t numbers)
{
    const auto from = senders(sources);
    SourceTable table;
    const std::size_t empty = mallinfo2().uordblks;
    for (std::uint32_t number = 1; number <= numbers; ++number) {
        const auto bytes
            = ProbePacket { ProbePacket::TypeProbe, number, 5 }.build(ProbePacket::HeaderSize);
        for (int i = 0; i < sources; ++i)
            table.countProbe(bytes.data(), bytes.size(), from[i].address, from[i].port, 0, 0);
    }
    return double(mallinfo2().uordblks - empty) / sources;
}

// A tick's loss accounting over every source, each with numbers overdue and changing.
double tickCost(int sources)
{
    const auto from = senders(sources);
    const auto bytes = ProbePacket { ProbePacket::TypeProbe, 1, 1 }.build(ProbePacket::HeaderSize);
    SourceTable table;
    for (int i = 0; i < sources; ++i)
        table.countProbe(bytes.data(), bytes.size(), from[i].address, from[i].port, 0, 0);
    std::size_t changed = 0;
    const double each = nanosecondsEach(200, [&](long tick) {
        table.checkOverdue(3000 + tick * 1000, [&](std::size_t, bool) { ++changed; });
    });
    return changed == std::size_t(sources) * 200 ? each : -1;
}

} // namespace

int main()
{
    const double few = acceptCost(16), many = acceptCost(10000);
    std::printf("one accepted datagram, parse and table: %6.0f ns with 16 sources, %6.0f ns "
                "with 10,000 (x%.1f)\n",
        few, many, many / few);
    const double stream = acceptCost(16, Probes::Stream),
                 timed = acceptCost(16, Probes::TimedStream);
    std::printf("a stream's probe with 16 sources: %6.0f ns without its time of arrival, %6.0f ns "
                "with it, jitter and the rest kept (x%.2f)\n",
        stream, timed, timed / stream);
    std::printf("memory per source (record, history and index): %.0f bytes heard once, %.0f "
                "bytes with a full history\n",
        bytesPerSource(10000, 1), bytesPerSource(1000, 1100));
    std::printf("a tick's loss accounting over 10,000 sources: %.0f us\n", tickCost(10000) / 1000);
    return 0;
}
