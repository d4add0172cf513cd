#include "core/SourceTable.h"

#include "core/ProbePacket.h"

#include <algorithm>
#include <new>

std::size_t SourceTable::countProbe(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint16_t port, std::time_t time)
{
    const auto probe = ProbePacket::parse(bytes, length);
    if (!probe)
        return NotCounted;
    // The type is not used: every probe counts alike.
    m_lookup.address.assign(address);
    m_lookup.port = port;
    if (const auto known = m_index.find(m_lookup); known != m_index.end()) {
        m_sources[known->second]->count(time, probe->sequence);
        return known->second;
    }
    try {
        // Room first, so that the index never names a source the list lacks; growing by
        // doubling keeps the copies rare.
        constexpr std::size_t firstRoom = 16;
        if (m_sources.size() == m_sources.capacity())
            m_sources.reserve(std::max(firstRoom, m_sources.size() * 2));
        auto source = std::make_unique<Source>(address, port, time, probe->period, probe->sequence);
        m_index.emplace(m_lookup, m_sources.size());
        m_sources.push_back(std::move(source));
    } catch (const std::bad_alloc&) {
        return NotCounted;
    }
    return m_sources.size() - 1;
}
