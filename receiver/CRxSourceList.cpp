#include "receiver/CRxSourceList.h"

#include "probe/CProbePacket.h"

#include <new>

CRxSourceList::~CRxSourceList() = default;

CRxSource* CRxSourceList::FindOrAdd(const std::string& address, std::uint32_t port,
    std::time_t time, std::uint32_t frequency, std::uint32_t sequence, std::size_t* index)
{
    m_lookup.address.assign(address);
    m_lookup.port = port;
    const auto known = m_index.find(m_lookup);
    if (known != m_index.end()) {
        // A known source keeps the frequency of its first datagram.
        CRxSource* source = m_list[known->second].get();
        source->Update(time, sequence);
        if (index)
            *index = known->second;
        return source;
    }
    try {
        if (m_list.size() == m_list.capacity())
            m_list.reserve(m_list.size() * 2 + 16);
        auto source = std::make_unique<CRxSource>(address, port, time, frequency, sequence);
        m_index.emplace(m_lookup, m_list.size());
        m_list.push_back(std::move(source)); // cannot throw: room was reserved
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (index)
        *index = m_list.size() - 1;
    return m_list.back().get();
}

CRxSource* CRxSourceList::CountProbe(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint32_t port, std::time_t time, std::size_t* index)
{
    CProbePacket packet;
    if (!packet.Parse(bytes, length))
        return nullptr;
    // The type is not used: every probe counts alike.
    return FindOrAdd(address, port, time, packet.GetFrequency(), packet.GetSequence(), index);
}
