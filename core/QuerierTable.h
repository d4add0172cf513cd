#pragma once

#include "core/MembershipQuery.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <utility>

// Where a query came from: network order, an IPv4 address in the first four bytes. A
// switch's own querier may send from 0.0.0.0 (or ::), the unspecified address.
struct QuerierAddress {
    std::array<std::uint8_t, 16> bytes {};
    bool ipv6 = false;

    bool isUnspecified() const { return bytes == std::array<std::uint8_t, 16> {}; }
    bool operator==(const QuerierAddress& other) const
    {
        return ipv6 == other.ipv6 && bytes == other.bytes;
    }
};

// The IGMP and MLD queriers heard on each link of the host, elected as the protocols do:
// the lowest address that sends general queries wins, and one without an address counts
// only while no other is heard. Whether a link has its querier, had one that is gone, or
// is overdue a query is decided here alone. Times are milliseconds of a steady clock.
class QuerierTable {
public:
    struct Querier {
        QuerierAddress address;
        MembershipQuery query; // its last general query
        std::int64_t lastQueryMs = 0;
        std::time_t lastQueryAt = 0; // the wall clock's, for people
    };

    // A well-formed query heard on the link of the interface.
    void heard(int interfaceIndex, const QuerierAddress& from, const MembershipQuery& query,
        std::int64_t nowMs, std::time_t at);
    // The querier last elected on the link; null when none has been heard.
    const Querier* querier(int interfaceIndex, bool ipv6) const;
    // Heard within the protocols' "other querier present" time.
    bool isPresent(int interfaceIndex, bool ipv6, std::int64_t nowMs) const;
    // Not present, though one was heard, or none heard for that time since watching began:
    // a switch that snoops stops forwarding groups then.
    bool isGone(
        int interfaceIndex, bool ipv6, std::int64_t watchedSinceMs, std::int64_t nowMs) const;
    // No query heard for longer than the last one said the querier waits between them (the
    // protocols' default where it says nothing, or where none was heard since watching
    // began): a loss told then likely has the missing querier for its cause.
    bool isQueryOverdue(
        int interfaceIndex, bool ipv6, std::int64_t watchedSinceMs, std::int64_t nowMs) const;
    // Every query heard on the link, general or not.
    std::uint64_t queries(int interfaceIndex, bool ipv6) const;

private:
    using Link = std::pair<int, bool>;
    std::map<Link, Querier> m_queriers;
    std::map<Link, std::uint64_t> m_queries;
};
