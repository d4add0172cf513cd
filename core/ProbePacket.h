#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One probe: a 32-byte signature, the version, the type, the sequence number and the
// sender's period, big-endian and unaligned, padded to the size asked for with copies of
// the signature.
struct ProbePacket {
    // The smallest packet ever built or accepted.
    static constexpr std::size_t HeaderSize = 43;
    static constexpr std::uint16_t Version = 1;
    // Types 1 to 3 are accepted. A transmitter sends the ordinary probe, and one stopping
    // message, with the next number, when it is stopped on purpose; receivers that know no
    // more than types 1 to 3 take it for a probe.
    static constexpr std::int8_t TypeProbe = 1;
    static constexpr std::int8_t TypeStopping = 2;
    static constexpr std::int8_t TypeLast = 3;

    std::int8_t type = TypeProbe;
    std::uint32_t sequence = 0;
    std::uint32_t period = 0; // seconds between probes

    // The packet's bytes; none when size is below the header.
    std::vector<std::uint8_t> build(std::size_t size) const;
    // Nothing for a datagram that is not a probe of this version.
    static std::optional<ProbePacket> parse(const std::uint8_t* bytes, std::size_t length);
    // Gives a built packet another type and number in place.
    static void restamp(std::uint8_t* packet, std::int8_t type, std::uint32_t sequence);
};

// Whether number a comes before b. Numbers compare in 32-bit serial arithmetic (RFC 1982), so
// that they may wrap.
inline bool serialBefore(std::uint32_t a, std::uint32_t b) { return std::int32_t(b - a) > 0; }
