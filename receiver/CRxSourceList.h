#pragma once

#include "CRxSource.h"

#include <memory>
#include <vector>

// Every source a receiver has seen, in order of first arrival. Owns its records and only grows.
class CRxSourceList {
public:
    CRxSourceList() = default;
    virtual ~CRxSourceList();

    CRxSourceList(const CRxSourceList&) = delete;
    CRxSourceList& operator=(const CRxSourceList&) = delete;

    // Counts one datagram into its source's record, creating the record at the source's
    // first datagram. Returns nullptr only when a new record cannot be allocated.
    CRxSource* FindOrAdd(const std::string& address, std::uint32_t port, std::time_t time,
        std::uint32_t frequency, std::uint32_t sequence);

    std::size_t GetCount() const { return m_list.size(); }
    const CRxSource& GetAt(std::size_t index) const { return *m_list[index]; }

private:
    std::vector<std::unique_ptr<CRxSource>> m_list;
};
