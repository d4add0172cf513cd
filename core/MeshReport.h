#pragma once

#include "core/ProbeBlock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How one mesh member hears another, as it reports it; Never is the matrix's own, for a pair
// no report has told.
enum class PairState : std::uint8_t { Ok = 0, Lost = 1, Stopped = 2, Never = 3 };

// One member as the reporting member hears it: a view_page entry's 20 bytes.
struct HeardEntry {
    static constexpr std::size_t Size = 20;
    std::uint64_t id = 0;
    PairState state = PairState::Ok;
    std::uint8_t recentReceived = 0; // among the last 60 numbers
    std::uint8_t recentMissing = 0;
    std::uint32_t totalReceived = 0; // since it was first heard
    std::uint32_t totalMissing = 0;
    std::uint8_t receivedTtl = 0; // 0 when not known
};

// What a mesh member says of itself in each probe's block: who it is, how it sends, what it
// hears in sum, and a page of what it hears member by member.
struct MemberReport {
    // The most of a name a block carries, in bytes of UTF-8.
    static constexpr std::size_t MaxNameBytes = 32;
    // The signature entry: an 8-byte run id, then an HMAC-SHA256 tag.
    static constexpr std::size_t TagSize = 32;
    static constexpr std::size_t SignatureSize = 8 + TagSize;

    std::uint64_t id = 0;
    std::string name;
    std::uint8_t ttl = 0; // the TTL it sends with
    // The querier it hears, IPv6 or IPv4-mapped; all zero when none is heard.
    std::array<std::uint8_t, 16> querier {};
    bool queriersUnseen = false; // it cannot see queriers at all
    std::uint16_t ok = 0; // the members it hears, by state
    std::uint16_t lost = 0;
    std::uint16_t stopped = 0;
    std::vector<HeardEntry> heard; // this probe's page
    // Signed: the run id, and where the tag and the bytes it covers are in the block read.
    struct Signature {
        std::uint64_t runId = 0;
        const std::uint8_t* tag = nullptr;
        std::size_t signedBytes = 0; // from the block's first byte
    };
    std::optional<Signature> signature;

    bool hearsNoOne() const { return ok == 0; }
    bool hearsQuerier() const;

    // The block of a probe: the member, its summary, the page of heard, and last, when
    // signed, the signature entry with the run id and a tag of zeros, for the sender to sign.
    void encode(ProbeBlock& block, std::uint64_t runId, bool signed_) const;
    // The report in a trusted block; none without a member and a summary entry. Only the
    // entries are read: the views must stay within the datagram.
    static std::optional<MemberReport> decode(const ProbeBlock::Reading& block);
    // The bytes a block takes before its page: how many entries fit in a probe of a size.
    static std::size_t entriesThatFit(std::size_t probeSize, std::size_t nameBytes, bool signed_);
    // The smallest probe a member sends: two entries fit with the longest name and a signature.
    static std::size_t minimumProbeSize();
    // A name cut to MaxNameBytes without splitting a character.
    static std::string shortName(const std::string& name);
};
