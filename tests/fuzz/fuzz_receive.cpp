// Fuzzes what a datagram meets after the socket, through the entry point receivers use, and
// the membership queries' parsers and the probe's block on the same bytes. The input is a run of
// datagrams, each a sender byte, a two-byte length and that many bytes; a short tail is one more.
// After every datagram the table must still hold what it promises.

#include "core/MembershipQuery.h"
#include "core/MeshMatrix.h"
#include "core/ProbeBlock.h"
#include "core/ProbePacket.h"
#include "core/SourceTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

static void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "receive path broke: %s\n", what);
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Anyone on the link sends IGMP and MLD too; a query read must say what the protocols can.
    for (const auto& query :
        { MembershipQuery::parseIgmp(data, size), MembershipQuery::parseMld(data, size, 1, true) })
        require(!query || (query->version >= 1 && query->version <= 3 && query->robustness > 0),
            "a query is one of the protocols'");
    MembershipQuery::hasHopByHopRouterAlert(data, size); // reads only within the header
    SourceTable table;
    MeshMatrix matrix(16);
    for (std::time_t time = 1; size > 0; ++time) {
        const std::size_t length
            = size < 3 ? size - 1 : std::min<std::size_t>((data[1] << 8) | data[2], size - 3);
        const std::uint8_t* bytes = data + (size < 3 ? 1 : 3);
        // 16 addresses and 8 ports: sources enough, repeated often.
        const std::string address = "10.0.0." + std::to_string(data[0] & 0x0f);
        const auto port = std::uint16_t(5000 + (data[0] >> 5));
        size -= std::size_t(bytes - data) + length;
        data = bytes + length;

        std::size_t known = 0;
        while (known < table.size()
            && (table.at(known).address != address || table.at(known).port != port))
            ++known;
        const std::size_t before = table.size();
        const bool isNew = known == before;
        const Source old = isNew ? Source(address, port, 0, 0, 0, 0) : table.at(known);
        const std::size_t index
            = table.countProbe(bytes, length, address, port, time, time * 1000).index;
        const auto probe = ProbePacket::parse(bytes, length);
        // A block trusted is one this program would build: writing its entries again over
        // the datagram gives the same bytes.
        if (const auto block = ProbeBlock::read(bytes, length);
            block.outcome == ProbeBlock::Reading::Trusted) {
            ProbeBlock again;
            for (const auto& entry : block.entries)
                require(again.add(BlockEntry(entry.type), entry.value, entry.length),
                    "a trusted entry fits again");
            std::vector<std::uint8_t> rebuilt(bytes, bytes + length);
            require(again.writeInto(rebuilt) && std::equal(rebuilt.begin(), rebuilt.end(), bytes),
                "a trusted block builds again to its bytes");
            // A member's report, whatever it claims, keeps the matrix within its bound.
            if (const auto report = MemberReport::decode(block)) {
                if (const std::size_t row = matrix.member(report->id);
                    row != MeshMatrix::NotCounted) {
                    matrix.heard(row, *report, address, port, 1000, time * 1000);
                    matrix.applyPage(row, report->heard, time * 1000);
                }
                require(matrix.size() <= 16 && report->name.size() <= MemberReport::MaxNameBytes,
                    "members and names within their bounds");
                matrix.triage(time * 1000);
            }
        }
        require(bool(probe) == (index != SourceTable::NotCounted), "probes, and only they, count");
        require(table.size() == before + (isNew && probe),
            "a source a sender, made by its first probe");
        if (!probe)
            continue;
        const Source& source = table.at(index);
        require(index == known, "sources in order of first arrival");
        require(source.address == address && source.port == port && source.lastReceived == time,
            "the source is its sender's, and its time follows");
        require(source.period == (isNew ? probe->period : old.period), "the first period stays");
        const bool duplicate = !isNew && source.duplicates != old.duplicates;
        require(source.lastSequence == (duplicate ? old.lastSequence : probe->sequence),
            "a number is either new or a duplicate");
        require(source.consecutiveReceived <= source.totalReceived
                && source.consecutiveMissed <= source.totalMissed
                && source.late < source.totalReceived && source.lossPercent() >= 0
                && source.lossPercent() <= 100,
            "the counters agree");
        require(!(source.lost && source.stopped), "a source stopped on purpose is never lost");
        require(source.remembers(probe->sequence), "the history holds the number");
    }
    return 0;
}
