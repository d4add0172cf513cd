#pragma once

#include "core/ProbeBlock.h"
#include "core/Recurring.h"
#include "core/Source.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

// What changed in a source's row: a duplicate arrived, a new number was counted, or
// anything (a new source, a missed count, the state, the TTL).
enum class SourceChange { Repeated, Counted, Everything };

// Every source a receiver has heard, in order of first arrival, up to a limit: anyone on the
// segment can forge sources, and memory must stay bounded whatever arrives. When the table
// is full, the source silent longest gives way to a new one if it has been silent long
// enough; otherwise the new one is refused, and counted.
class SourceTable {
public:
    static constexpr std::size_t NotCounted = std::size_t(-1);
    static constexpr std::int64_t DefaultGiveWayAfterMs = 3'600'000;
    static constexpr std::int64_t PathChangeToldEveryMs = 60'000;

    // The source that last gave way: where it sent from, and how long it had been silent.
    struct GaveWay {
        std::string address;
        std::uint16_t port = 0;
        std::int64_t silentMs = 0;
    };

    // What one datagram did: the place of its source in the table (NotCounted for anything
    // but a probe, or when a new source cannot be allocated), and what changed.
    struct Counted {
        std::size_t index = NotCounted;
        bool added = false;
        bool replaced = false; // added in the place of the source gaveWay() tells
        bool ttlChanged = false;
        // The TTL before, when the path from a sender changed from one known TTL to another;
        // told at most once a minute a source, however often the path flaps. -1 otherwise.
        int pathChangedFrom = -1;
        Source::Arrival arrival;
        std::uint32_t sequence = 0;
        ProbeBlock::Reading block; // its entries point into the datagram counted

        explicit operator bool() const { return index != NotCounted; }
        SourceChange change() const
        {
            if (added || ttlChanged || arrival.missedChanged || arrival.late || arrival.stopped
                || arrival.resumed)
                return SourceChange::Everything;
            return arrival.duplicate ? SourceChange::Repeated : SourceChange::Counted;
        }
    };

    // Parses a datagram and, when it is a probe, counts it into its sender's source, made
    // at the sender's first probe. Only reads the bytes. The TTL is -1 when unknown. The
    // timing gives the arrival and whether the clocks agree; the block adds what it tells.
    Counted countProbe(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint16_t port, std::time_t time, std::int64_t nowMs, int ttl = -1,
        ProbeTiming timing = {});
    // Counts what is overdue by now, and tells changed(index, becameLost) of every source
    // whose counters moved. A lost source is not told again. Costs a comparison until the
    // next number of any source falls due, so that it can run at every tick.
    template <class Changed> void checkOverdue(std::int64_t nowMs, Changed changed)
    {
        if (nowMs < m_nextDueMs)
            return;
        m_nextDueMs = std::numeric_limits<std::int64_t>::max();
        for (std::size_t index = 0; index < m_sources.size(); ++index) {
            Source& source = *m_sources[index];
            const bool wasLost = source.lost;
            if (source.checkOverdue(nowMs, m_rules))
                changed(index, source.lost && !wasLost);
            m_nextDueMs = std::min(m_nextDueMs, source.nextDueMs(m_rules));
        }
    }
    // The numbers counted missing, of every source.
    std::uint64_t missing() const;
    // Of those, how many this host dropped itself, given the datagrams its queue had no room
    // for (every datagram it drops is a number counted missing, or a duplicate or junk that
    // counts nothing): the rest is the network's.
    std::uint64_t droppedOnHost(std::uint64_t hostDrops) const
    {
        return std::min(hostDrops, missing());
    }
    // The source that sends from there; null when there is none.
    const Source* find(const std::string& address, std::uint16_t port) const;
    // Forgets every source: the next probe of each makes it anew.
    void clear();

    void setCapacity(std::size_t maxSources, std::int64_t giveWayAfterMs = DefaultGiveWayAfterMs);
    std::size_t maxSources() const { return m_maxSources; }
    const GaveWay& gaveWay() const { return m_gaveWay; }
    // Probes of new sources turned away since the table was made or cleared.
    std::uint64_t refused() const { return m_refusals.count(); }
    // Blocks refused in the probes counted (a probe is counted all the same), since the table
    // was made or cleared.
    std::uint64_t blocksRefused() const { return m_blocksRefused; }
    // Whether the refusals are to be told now: at the first, then at most once a minute
    // while more come.
    bool refusalsDue(std::int64_t nowMs) { return m_refusals.due(nowMs); }

    void setRules(const LossRules& rules)
    {
        m_rules = rules;
        m_nextDueMs = 0;
    }
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

    // Where a new source goes: the end, the place of one that gives way, or NotCounted.
    std::size_t placeForNew(std::int64_t nowMs);

    std::vector<std::unique_ptr<Source>> m_sources;
    // Finds a source without walking them all; with thousands of sources the walk would
    // cost more than everything else a datagram does.
    std::unordered_map<Key, std::size_t, KeyHash> m_index;
    Key m_lookup; // reused, so that a lookup allocates nothing
    LossRules m_rules;
    std::size_t m_maxSources = Defaults::maxSources;
    std::int64_t m_giveWayAfterMs = DefaultGiveWayAfterMs;
    // Until then no source can have been silent long enough: a flood of new sources against a
    // full table costs a walk of it once, not once a datagram.
    std::int64_t m_noneGivesWayUntilMs = 0;
    GaveWay m_gaveWay;
    // No source has a number falling overdue before this.
    std::int64_t m_nextDueMs = std::numeric_limits<std::int64_t>::max();
    Recurring m_refusals;
    std::uint64_t m_blocksRefused = 0;
};
