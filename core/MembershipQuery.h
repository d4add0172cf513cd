#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// A membership query, as a multicast router, or a switch standing in for one, sends it on a
// link: IGMP for IPv4, MLD for IPv6. Switches that snoop forward a group only to ports that
// answer these; a link where nobody sends them loses its groups a few minutes after the join.
struct MembershipQuery {
    // The protocols' defaults, where an older version does not say.
    static constexpr std::uint32_t DefaultIntervalSeconds = 125;
    static constexpr std::uint32_t DefaultRobustness = 2;
    static constexpr std::uint32_t DefaultMaxResponseMs = 10'000;

    bool ipv6 = false; // MLD rather than IGMP
    int version = 0; // IGMP 1 to 3, MLD 1 or 2
    bool general = false; // about every group, not one
    std::uint32_t intervalSeconds = DefaultIntervalSeconds; // between general queries
    std::uint32_t robustness = DefaultRobustness;
    std::uint32_t maxResponseMs = DefaultMaxResponseMs;

    // How long after a general query hosts may take the querier for gone: the robustness
    // times the interval, and half the response time (the protocols' "other querier
    // present" interval).
    std::uint32_t otherQuerierPresentMs() const;

    // An IPv4 packet, its header included, as a raw IGMP socket reads it. Nothing unless it
    // is a well-formed query: TTL 1, the Router Alert option (but from IGMPv1, which has
    // none), a right checksum, the query's type and length.
    static std::optional<MembershipQuery> parseIgmp(const std::uint8_t* packet, std::size_t length);
    // Whether an IPv4 packet, its header included, is an IGMP query at all, well-formed or not.
    static bool isIgmpQuery(const std::uint8_t* packet, std::size_t length);
    // An ICMPv6 message, as a raw ICMPv6 socket reads it (the kernel has checked its checksum),
    // with the hop limit and whether a Router Alert option came in its hop-by-hop header.
    static std::optional<MembershipQuery> parseMld(
        const std::uint8_t* message, std::size_t length, int hopLimit, bool routerAlert);
    // Whether an IPv6 hop-by-hop header, as IPV6_HOPOPTS gives it (its next-header and length
    // bytes first), holds the Router Alert option that MLD queries carry.
    static bool hasHopByHopRouterAlert(const std::uint8_t* header, std::size_t length);
};
