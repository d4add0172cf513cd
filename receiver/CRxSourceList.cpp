#include "CRxSourceList.h"

#include <new>

CRxSourceList::~CRxSourceList() = default;

CRxSource* CRxSourceList::FindOrAdd(const std::string& address, std::uint32_t port,
    std::time_t time, std::uint32_t frequency, std::uint32_t sequence)
{
    m_lookup.address.assign(address);
    m_lookup.port = port;
    const auto known = m_index.find(m_lookup);
    if (known != m_index.end()) {
        // A known source keeps the frequency of its first datagram.
        known->second->Update(time, sequence);
        return known->second;
    }
    try {
        auto source = std::make_unique<CRxSource>(address, port, time, frequency, sequence);
        const auto indexed = m_index.emplace(m_lookup, source.get()).first;
        try {
            m_list.push_back(std::move(source));
        } catch (const std::bad_alloc&) {
            m_index.erase(indexed);
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return m_list.back().get();
}
