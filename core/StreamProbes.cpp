#include "core/StreamProbes.h"

#include "core/ProbeBlock.h"
#include "core/ProbePacket.h"

#include <algorithm>
#include <array>

namespace {

template <std::size_t N> void putBigEndian(std::uint8_t* at, std::uint64_t value)
{
    for (std::size_t i = 0; i < N; ++i)
        at[i] = std::uint8_t(value >> (8 * (N - 1 - i)));
}

// Where the send time's value lies in the block, the first entry's after its type and length.
constexpr std::size_t SendTimeAt = ProbeBlock::HeaderSize + 3;
constexpr std::size_t BlockSize = ProbeBlock::HeaderSize + (3 + 8) + (3 + 12) + ProbeBlock::CrcSize;
static_assert(ProbeBlock::Offset + BlockSize == StreamProbes::MinimumSize);

} // namespace

StreamProbes::StreamProbes(std::size_t slotCount, std::size_t maxSize, const Timing& timing)
    : m_slots(slotCount)
    , m_maxSize(std::max(maxSize, MinimumSize))
{
    std::vector<std::uint8_t> probe
        = ProbePacket { ProbePacket::TypeProbe, 0, timing.headerPeriodSeconds }.build(m_maxSize);
    ProbeBlock block;
    const std::array<std::uint8_t, 8> sendTime {};
    std::array<std::uint8_t, 12> streamTiming {};
    putBigEndian<8>(streamTiming.data(), std::uint64_t(timing.periodNs));
    putBigEndian<4>(streamTiming.data() + 8, timing.burst);
    block.add(BlockEntry::SendTime, sendTime.data(), sendTime.size());
    block.add(BlockEntry::StreamTiming, streamTiming.data(), streamTiming.size());
    block.writeInto(probe);
    m_bytes.reserve(m_slots * m_maxSize);
    for (std::size_t slot = 0; slot < m_slots; ++slot)
        m_bytes.insert(m_bytes.end(), probe.begin(), probe.end());
}

std::uint8_t* StreamProbes::stamp(
    std::size_t slot, std::int8_t type, std::uint32_t sequence, std::int64_t sendTimeNs)
{
    std::uint8_t* probe = m_bytes.data() + slot * m_maxSize;
    ProbePacket::restamp(probe, type, sequence);
    std::uint8_t* block = probe + ProbeBlock::Offset;
    putBigEndian<8>(block + SendTimeAt, std::uint64_t(sendTimeNs));
    ProbeBlock::seal(block, BlockSize);
    return probe;
}
