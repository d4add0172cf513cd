#pragma once

#include "core/MeshReport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// One pair of a mesh: how the row's member hears the column's, as the row's member last said.
struct MeshCell {
    PairState state = PairState::Never;
    std::uint8_t recentReceived = 0; // among the last 60 numbers
    std::uint8_t recentMissing = 0;
    std::uint8_t receivedTtl = 0; // 0 when not known
    std::uint32_t totalReceived = 0;
    std::uint32_t totalMissing = 0;
    std::int64_t reportMs = 0; // when its row's member told it

    // Missing among the last 60 numbers, in percent; 0 before any.
    double recentLossPercent() const;
};

// A mesh member as this member knows it: from its probes, or only named in others' reports.
struct KnownMember {
    std::uint64_t id = 0;
    std::string name; // empty until a probe of its own came
    std::string address;
    std::uint16_t port = 0;
    bool self = false;
    MemberReport summary; // the sums of its last report: no name, page or signature
    std::int64_t firstHeardMs = -1; // its first and last probe; -1 before any
    std::int64_t lastHeardMs = -1;
    std::int64_t periodMs = 1000;
    bool stoppedOnPurpose = false; // it said it stops
    // Signed meshes: the run and the last sequence number a signed block came with.
    std::uint64_t runId = 0;
    std::uint32_t lastSequence = 0;
    bool hasRun = false;
};

// Who hears whom: a row a member, as its reports tell it (this member's own from its own
// receiver), a column a member; members are numbered as they become known, and the rows and
// columns are arrays indexed by that number. Bounded: anyone on the segment can make up ids,
// so past the limit new members are refused, and counted.
class MeshMatrix {
public:
    static constexpr std::size_t NotCounted = std::size_t(-1);
    // Rows are stale, and members warming up, for this many of their periods.
    static constexpr int StalePeriods = 3;

    explicit MeshMatrix(std::size_t maxMembers = 1000);

    // The number of a member, made when new; NotCounted when the matrix is full.
    std::size_t member(std::uint64_t id);
    // NotCounted when not known.
    std::size_t find(std::uint64_t id) const;
    // A probe of this member came, with its report; true when the report's sum of what it
    // hears, or its querier, changed.
    bool heard(std::size_t member, const MemberReport& report, const std::string& address,
        std::uint16_t port, std::int64_t periodMs, std::int64_t nowMs);
    // Its row, as far as this page tells it; entries naming members past the limit are
    // dropped.
    void applyPage(std::size_t row, const std::vector<HeardEntry>& page, std::int64_t nowMs);
    void setCell(std::size_t row, std::size_t column, const MeshCell& cell);
    const MeshCell& cell(std::size_t row, std::size_t column) const;
    // The column member's TTL less the TTL its probes reach the row's member with; -1 when
    // not known.
    int hops(std::size_t row, std::size_t column) const;

    std::size_t size() const { return m_members.size(); }
    KnownMember& at(std::size_t member) { return m_members[member]; }
    const KnownMember& at(std::size_t member) const { return m_members[member]; }
    // A member's name, its id in hex until its own probe names it.
    std::string nameOf(std::size_t member) const;
    std::uint64_t refused() const { return m_refused; }
    // Moves on when what a picture of the matrix shows changes: a member, a name, a cell's
    // state or TTL; not when a report only repeats, so that a view repaints nothing then.
    std::uint64_t generation() const { return m_generation; }

    // No probe of its for three of its periods.
    bool isStale(std::size_t member, std::int64_t nowMs) const;
    // First heard less than three of its periods ago.
    bool isWarmingUp(std::size_t member, std::int64_t nowMs) const;
    // Members that took part: heard from, this one included.
    std::size_t taking() const;

    // What needs a look, each a list of member numbers.
    struct Triage {
        std::vector<std::size_t> hearNoOne;
        std::vector<std::size_t> heardByNoOne;
        std::vector<std::size_t> hearSome;
        std::vector<std::size_t> warmingUp;
        std::vector<std::size_t> noQuerier;
    };
    Triage triage(std::int64_t nowMs) const;

private:
    std::size_t m_maxMembers;
    std::vector<KnownMember> m_members;
    std::unordered_map<std::uint64_t, std::size_t> m_numbers;
    std::vector<std::vector<MeshCell>> m_rows; // each as long as its last column told
    std::uint64_t m_refused = 0;
    std::uint64_t m_generation = 0;
};
