#include "CRxSourceList.h"

#include <new>

CRxSourceList::~CRxSourceList() = default;

CRxSource* CRxSourceList::FindOrAdd(const std::string& address, std::uint32_t port,
    std::time_t time, std::uint32_t frequency, std::uint32_t sequence)
{
    for (const auto& source : m_list) {
        if (source->m_nPort == port && source->m_strAddress == address) {
            // A known source keeps the frequency of its first datagram.
            source->Update(time, sequence);
            return source.get();
        }
    }
    try {
        m_list.push_back(std::make_unique<CRxSource>(address, port, time, frequency, sequence));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return m_list.back().get();
}
