#pragma once

#include "receiver/CRxSource.h"

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// Every source a receiver has seen, in order of first arrival. Owns its records and only grows.
class CRxSourceList {
public:
    CRxSourceList() = default;
    virtual ~CRxSourceList();

    CRxSourceList(const CRxSourceList&) = delete;
    CRxSourceList& operator=(const CRxSourceList&) = delete;

    // Counts one datagram into its source's record, creating the record at the source's
    // first datagram, and gives the record's place in the order of first arrival. Returns
    // nullptr only when a new record cannot be allocated.
    CRxSource* FindOrAdd(const std::string& address, std::uint32_t port, std::time_t time,
        std::uint32_t frequency, std::uint32_t sequence, std::size_t* index = nullptr);

    // Parses a datagram and, when it is a probe, counts it in as above; nullptr for anything
    // else. The bytes are only read.
    CRxSource* CountProbe(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint32_t port, std::time_t time, std::size_t* index = nullptr);

    std::size_t GetCount() const { return m_list.size(); }
    const CRxSource& GetAt(std::size_t index) const { return *m_list[index]; }

private:
    struct Key {
        std::string address;
        std::uint32_t port = 0;
        bool operator==(const Key& other) const
        {
            return port == other.port && address == other.address;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            return std::hash<std::string>()(key.address)
                ^ (std::size_t(key.port) * 0x9e3779b97f4a7c15u);
        }
    };

    std::vector<std::unique_ptr<CRxSource>> m_list; // in order of first arrival
    // Finds a source without walking them all; with thousands of sources the walk would
    // cost more than everything else a datagram does.
    std::unordered_map<Key, std::size_t, KeyHash> m_index;
    Key m_lookup; // reused, so that a lookup allocates nothing
};
