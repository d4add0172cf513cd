#include "core/SourceTable.h"

#include "core/ProbeBlock.h"
#include "core/ProbePacket.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

std::uint64_t bigEndian(const std::uint8_t* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | at[i];
    return value;
}

// What a trusted block tells of a stream's timing; nothing of a refused one.
void readTiming(const ProbeBlock::Reading& block, ProbeTiming& timing)
{
    for (const ProbeBlock::EntryView& entry : block.entries) {
        if (entry.type == std::uint8_t(BlockEntry::SendTime))
            timing.sendNs = std::int64_t(bigEndian(entry.value, 8));
        else if (entry.type == std::uint8_t(BlockEntry::StreamTiming)) {
            timing.periodNs = std::int64_t(std::min<std::uint64_t>(
                bigEndian(entry.value, 8), std::uint64_t(Limits::period.max) * 1'000'000'000));
            timing.burst = std::max<std::uint32_t>(1, std::uint32_t(bigEndian(entry.value + 8, 4)));
        }
    }
}

} // namespace

SourceTable::Counted SourceTable::countProbe(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint16_t port, std::time_t time, std::int64_t nowMs, int ttl,
    ProbeTiming timing)
{
    const auto probe = ProbePacket::parse(bytes, length);
    if (!probe)
        return {};
    Counted counted;
    counted.block = ProbeBlock::read(bytes, length);
    m_blocksRefused += counted.block.outcome == ProbeBlock::Reading::Refused;
    counted.sequence = probe->sequence;
    readTiming(counted.block, timing);
    const bool stopping = probe->type == ProbePacket::TypeStopping;
    m_lookup.address.assign(address);
    m_lookup.port = port;
    if (const auto known = m_index.find(m_lookup); known != m_index.end()) {
        counted.index = known->second;
        counted.arrival = m_sources[known->second]->count(
            time, nowMs, probe->sequence, m_rules, stopping, timing);
    } else {
        const std::size_t place = placeForNew(nowMs);
        if (place == NotCounted) {
            m_refusals.happened();
            return {};
        }
        try {
            // Room first, so that the index never names a source the list lacks; growing
            // by doubling keeps the copies rare.
            constexpr std::size_t firstRoom = 16;
            if (place == m_sources.size() && m_sources.size() == m_sources.capacity())
                m_sources.reserve(std::max(firstRoom, m_sources.size() * 2));
            auto source = std::make_unique<Source>(
                address, port, time, nowMs, probe->period, probe->sequence, stopping, timing);
            if (place < m_sources.size()) {
                Source& old = *m_sources[place];
                m_gaveWay = { old.address, old.port, nowMs - old.lastArrivalMs };
                m_index.erase(Key { old.address, old.port });
                m_index.emplace(m_lookup, place);
                m_sources[place] = std::move(source);
                counted.replaced = true;
            } else {
                m_index.emplace(m_lookup, place);
                m_sources.push_back(std::move(source));
            }
        } catch (const std::bad_alloc&) {
            return {};
        }
        counted.index = place;
        counted.added = true;
        counted.arrival.stopped = m_sources[place]->stopped;
    }
    Source& source = *m_sources[counted.index];
    m_nextDueMs = std::min(m_nextDueMs, source.nextDueMs(m_rules));
    const int before = std::exchange(source.receivedTtl, ttl);
    counted.ttlChanged = before != ttl;
    if (counted.ttlChanged && before >= 0 && ttl >= 0
        && nowMs - source.pathChangeToldAtMs >= PathChangeToldEveryMs) {
        counted.pathChangedFrom = before;
        source.pathChangeToldAtMs = nowMs;
    }
    return counted;
}

std::size_t SourceTable::placeForNew(std::int64_t nowMs)
{
    if (m_sources.size() < m_maxSources)
        return m_sources.size();
    if (m_sources.empty() || nowMs < m_noneGivesWayUntilMs)
        return NotCounted;
    const auto silentLongest = std::min_element(m_sources.begin(), m_sources.end(),
        [](const std::unique_ptr<Source>& a, const std::unique_ptr<Source>& b) {
            return a->lastArrivalMs < b->lastArrivalMs;
        });
    if (nowMs - (*silentLongest)->lastArrivalMs >= m_giveWayAfterMs)
        return std::size_t(silentLongest - m_sources.begin());
    // Arrivals only move sources' times on, so none gives way before this.
    m_noneGivesWayUntilMs = (*silentLongest)->lastArrivalMs + m_giveWayAfterMs;
    return NotCounted;
}

void SourceTable::setCapacity(std::size_t maxSources, std::int64_t giveWayAfterMs)
{
    m_maxSources = maxSources;
    m_giveWayAfterMs = giveWayAfterMs;
    m_noneGivesWayUntilMs = 0;
}

void SourceTable::clear()
{
    m_sources.clear();
    m_index.clear();
    m_noneGivesWayUntilMs = 0;
    m_nextDueMs = std::numeric_limits<std::int64_t>::max();
    m_refusals = {};
    m_blocksRefused = 0;
}

const Source* SourceTable::find(const std::string& address, std::uint16_t port) const
{
    const auto found = m_index.find(Key { address, port });
    return found == m_index.end() ? nullptr : m_sources[found->second].get();
}

std::uint64_t SourceTable::missing() const
{
    std::uint64_t all = 0;
    for (const auto& source : m_sources)
        all += source->totalMissed;
    return all;
}
