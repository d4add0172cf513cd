// The cost of one accepted datagram (parse, table, row) with few and with many known
// sources, the table alone and with the receiver panel's list, and the memory each source
// takes. Run it through bench/run.

#include "CAddRx.h"
#include "CProbePacket.h"
#include "CRxSourceList.h"

#include <QApplication>

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

double tableCost(int sources)
{
    CRxSourceList table;
    const auto from = senders(sources);
    for (int i = 0; i < sources; ++i)
        table.FindOrAdd(from[i].address, from[i].port, 0, 5, 1);
    const long rounds = std::max(200000L, long(sources) * 20);
    return nanosecondsEach(rounds, [&](long i) {
        const Sender& sender = from[std::size_t(i % sources)];
        table.FindOrAdd(sender.address, sender.port, i / 1000, 5, std::uint32_t(i / sources + 2));
    });
}

double panelCost(int sources)
{
    CAddRx receiver;
    receiver.show();
    const auto from = senders(sources);
    CProbePacket probe(1, 1, 5, 1000);
    std::vector<std::uint8_t> bytes(probe.Build(), probe.Build() + 1000);
    for (int i = 0; i < sources; ++i)
        receiver.ProcessDatagram(bytes.data(), bytes.size(), from[i].address, from[i].port);
    const long rounds = std::max(200000L, long(sources) * 20);
    return nanosecondsEach(rounds, [&](long i) {
        const Sender& sender = from[std::size_t(i % sources)];
        const std::uint32_t sequence = std::uint32_t(i / sources + 2);
        bytes[35] = std::uint8_t(sequence >> 24);
        bytes[36] = std::uint8_t(sequence >> 16);
        bytes[37] = std::uint8_t(sequence >> 8);
        bytes[38] = std::uint8_t(sequence);
        receiver.ProcessDatagram(bytes.data(), bytes.size(), sender.address, sender.port);
        if (i % 4096 == 0)
            QCoreApplication::processEvents();
    });
}

double bytesPerSource(int sources)
{
    const auto from = senders(sources);
    const std::size_t before = mallinfo2().uordblks;
    {
        CAddRx receiver;
        const std::size_t empty = mallinfo2().uordblks;
        CProbePacket probe(1, 1, 5, 100);
        const std::uint8_t* bytes = probe.Build();
        for (int i = 0; i < sources; ++i)
            receiver.ProcessDatagram(bytes, 100, from[i].address, from[i].port);
        return double(mallinfo2().uordblks - empty) / sources;
    }
    (void)before;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const double table16 = tableCost(16), table10k = tableCost(10000);
    const double panel16 = panelCost(16), panel10k = panelCost(10000);
    std::printf("one accepted datagram, table only:   %8.0f ns with 16 sources, %8.0f ns with "
                "10,000 (x%.1f)\n",
        table16, table10k, table10k / table16);
    std::printf("one accepted datagram, table and row: %7.0f ns with 16 sources, %8.0f ns with "
                "10,000 (x%.1f)\n",
        panel16, panel10k, panel10k / panel16);
    std::printf("memory per source (record, index and row): %.0f bytes\n", bytesPerSource(10000));
    return 0;
}
