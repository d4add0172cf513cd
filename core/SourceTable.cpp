#include "core/SourceTable.h"

#include "core/ProbePacket.h"

#include <algorithm>
#include <new>
#include <utility>

SourceTable::Counted SourceTable::countProbe(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint16_t port, std::time_t time, std::int64_t nowMs, int ttl)
{
    const auto probe = ProbePacket::parse(bytes, length);
    if (!probe)
        return {};
    // The type is not used: every probe counts alike.
    Counted counted;
    m_lookup.address.assign(address);
    m_lookup.port = port;
    if (const auto known = m_index.find(m_lookup); known != m_index.end()) {
        counted.index = known->second;
        counted.arrival = m_sources[known->second]->count(time, nowMs, probe->sequence, m_rules);
    } else {
        try {
            // Room first, so that the index never names a source the list lacks; growing
            // by doubling keeps the copies rare.
            constexpr std::size_t firstRoom = 16;
            if (m_sources.size() == m_sources.capacity())
                m_sources.reserve(std::max(firstRoom, m_sources.size() * 2));
            auto source = std::make_unique<Source>(
                address, port, time, nowMs, probe->period, probe->sequence);
            m_index.emplace(m_lookup, m_sources.size());
            m_sources.push_back(std::move(source));
        } catch (const std::bad_alloc&) {
            return {};
        }
        counted.index = m_sources.size() - 1;
        counted.added = true;
    }
    counted.ttlChanged = std::exchange(m_sources[counted.index]->receivedTtl, ttl) != ttl;
    return counted;
}

void SourceTable::clear()
{
    m_sources.clear();
    m_index.clear();
}

bool SourceTable::allLost() const
{
    return std::all_of(m_sources.begin(), m_sources.end(),
        [](const std::unique_ptr<Source>& source) { return source->lost; });
}
