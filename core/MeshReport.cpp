#include "core/MeshReport.h"

#include <algorithm>

namespace {

constexpr std::size_t EntryHeader = 3;
constexpr std::size_t SummarySize = 24;

void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

std::uint64_t get(const std::uint8_t* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | at[i];
    return value;
}

// What a member's block takes besides its page, the probe's header with it.
std::size_t fixedBytes(std::size_t nameBytes, bool signed_)
{
    return ProbeBlock::Offset + ProbeBlock::HeaderSize + ProbeBlock::CrcSize + EntryHeader + 8
        + nameBytes + EntryHeader + SummarySize + EntryHeader
        + (signed_ ? EntryHeader + MemberReport::SignatureSize : 0);
}

} // namespace

bool MemberReport::hearsQuerier() const
{
    return std::any_of(querier.begin(), querier.end(), [](std::uint8_t byte) { return byte; });
}

std::string MemberReport::shortName(const std::string& name)
{
    if (name.size() <= MaxNameBytes)
        return name;
    std::size_t end = MaxNameBytes;
    while (end > 0 && (std::uint8_t(name[end]) & 0xC0) == 0x80)
        --end; // a continuation byte: the character starts before
    return name.substr(0, end);
}

std::size_t MemberReport::entriesThatFit(std::size_t probeSize, std::size_t nameBytes, bool signed_)
{
    const std::size_t fixed = fixedBytes(nameBytes, signed_);
    return probeSize > fixed ? (probeSize - fixed) / HeardEntry::Size : 0;
}

std::size_t MemberReport::minimumProbeSize()
{
    return fixedBytes(MaxNameBytes, true) + 2 * HeardEntry::Size;
}

void MemberReport::encode(ProbeBlock& block, std::uint64_t runId, bool signed_) const
{
    std::vector<std::uint8_t> value;
    put(value, id, 8);
    value.insert(value.end(), name.begin(), name.end());
    block.add(BlockEntry::Member, value.data(), value.size());

    value.clear();
    value.push_back(ttl);
    value.push_back(queriersUnseen ? 1 : 0);
    put(value, ok, 2);
    put(value, lost, 2);
    put(value, stopped, 2);
    value.insert(value.end(), querier.begin(), querier.end());
    block.add(BlockEntry::MemberSummary, value.data(), value.size());

    if (!heard.empty()) {
        value.clear();
        for (const HeardEntry& entry : heard) {
            put(value, entry.id, 8);
            value.push_back(std::uint8_t(entry.state));
            value.push_back(entry.recentReceived);
            value.push_back(entry.recentMissing);
            put(value, entry.totalReceived, 4);
            put(value, entry.totalMissing, 4);
            value.push_back(entry.receivedTtl);
        }
        block.add(BlockEntry::ViewPage, value.data(), value.size());
    }
    if (signed_) {
        value.assign(SignatureSize, 0);
        for (int i = 0; i < 8; ++i)
            value[std::size_t(i)] = std::uint8_t(runId >> (56 - 8 * i));
        block.add(BlockEntry::Signature, value.data(), value.size());
    }
}

std::optional<MemberReport> MemberReport::decode(const ProbeBlock::Reading& block)
{
    MemberReport report;
    bool member = false;
    bool summary = false;
    for (std::size_t i = 0; i < block.entries.size(); ++i) {
        const ProbeBlock::EntryView& entry = block.entries[i];
        const std::uint8_t* at = entry.value;
        switch (BlockEntry(entry.type)) {
        case BlockEntry::Member:
            report.id = get(at, 8);
            report.name.assign(reinterpret_cast<const char*>(at + 8), entry.length - 8);
            report.name = shortName(report.name);
            member = true;
            break;
        case BlockEntry::MemberSummary:
            report.ttl = at[0];
            report.queriersUnseen = at[1] & 1;
            report.ok = std::uint16_t(get(at + 2, 2));
            report.lost = std::uint16_t(get(at + 4, 2));
            report.stopped = std::uint16_t(get(at + 6, 2));
            std::copy(at + 8, at + 24, report.querier.begin());
            summary = true;
            break;
        case BlockEntry::ViewPage:
            for (std::size_t offset = 0; offset + HeardEntry::Size <= entry.length;
                 offset += HeardEntry::Size) {
                const std::uint8_t* e = at + offset;
                if (e[8] > std::uint8_t(PairState::Stopped))
                    continue; // a state this version does not know
                report.heard.push_back({ get(e, 8), PairState(e[8]), e[9], e[10],
                    std::uint32_t(get(e + 11, 4)), std::uint32_t(get(e + 15, 4)), e[19] });
            }
            break;
        case BlockEntry::Signature:
            // Only the last entry signs: what follows it would be covered by nothing.
            if (i + 1 == block.entries.size())
                report.signature
                    = Signature { get(at, 8), at + 8, std::size_t(at + 8 - block.bytes) };
            break;
        default:
            break;
        }
    }
    if (!member || !summary)
        return std::nullopt;
    return report;
}
