#pragma once

#include "core/Source.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// Every source a receiver has heard, in order of first arrival. Grows until cleared.
class SourceTable {
public:
    static constexpr std::size_t NotCounted = std::size_t(-1);

    // What one datagram did: the place of its source in the table (NotCounted for anything
    // but a probe, or when a new source cannot be allocated), and what changed.
    struct Counted {
        std::size_t index = NotCounted;
        bool added = false;
        bool ttlChanged = false;
        Source::Arrival arrival;
        explicit operator bool() const { return index != NotCounted; }
    };

    // Parses a datagram and, when it is a probe, counts it into its sender's source, made
    // at the sender's first probe. Only reads the bytes. The TTL is -1 when unknown.
    Counted countProbe(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint16_t port, std::time_t time, std::int64_t nowMs, int ttl = -1);
    // Counts what is overdue by now, and tells changed(index, becameLost) of every source
    // whose counters moved. A lost source is not told again.
    template <class Changed> void checkOverdue(std::int64_t nowMs, Changed changed)
    {
        for (std::size_t index = 0; index < m_sources.size(); ++index) {
            Source& source = *m_sources[index];
            const bool wasLost = source.lost;
            if (source.checkOverdue(nowMs, m_rules))
                changed(index, source.lost && !wasLost);
        }
    }
    bool allLost() const;
    // Forgets every source: the next probe of each makes it anew.
    void clear();

    void setRules(const LossRules& rules) { m_rules = rules; }
    const LossRules& rules() const { return m_rules; }
    std::size_t size() const { return m_sources.size(); }
    const Source& at(std::size_t index) const { return *m_sources[index]; }

private:
    struct Key {
        std::string address;
        std::uint16_t port = 0;
        bool operator==(const Key& other) const
        {
            return port == other.port && address == other.address;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            constexpr std::size_t goldenRatio = 0x9e3779b97f4a7c15u;
            return std::hash<std::string>()(key.address) ^ (std::size_t(key.port) * goldenRatio);
        }
    };

    std::vector<std::unique_ptr<Source>> m_sources;
    // Finds a source without walking them all; with thousands of sources the walk would
    // cost more than everything else a datagram does.
    std::unordered_map<Key, std::size_t, KeyHash> m_index;
    Key m_lookup; // reused, so that a lookup allocates nothing
    LossRules m_rules;
};
