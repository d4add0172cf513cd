#include "core/ProbePacket.h"

#include <algorithm>
#include <cstring>

namespace {

// The NUL is part of the signature: 31 characters and the terminator make 32 bytes.
constexpr std::size_t SignatureSize = 32;
constexpr char Signature[SignatureSize] = "Lumivox multicast probe packets";
static_assert(sizeof(Signature) == SignatureSize);

constexpr std::size_t VersionOffset = 32;
constexpr std::size_t TypeOffset = 34;
constexpr std::size_t SequenceOffset = 35;
constexpr std::size_t PeriodOffset = 39;
static_assert(PeriodOffset + 4 == ProbePacket::HeaderSize);

void putBigEndian32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = std::uint8_t(value >> 24);
    at[1] = std::uint8_t(value >> 16);
    at[2] = std::uint8_t(value >> 8);
    at[3] = std::uint8_t(value);
}

std::uint32_t getBigEndian32(const std::uint8_t* at)
{
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) | (std::uint32_t(at[2]) << 8)
        | std::uint32_t(at[3]);
}

} // namespace

std::vector<std::uint8_t> ProbePacket::build(std::size_t size) const
{
    if (size < HeaderSize)
        return {};
    std::vector<std::uint8_t> out(size);
    std::memcpy(out.data(), Signature, SignatureSize);
    out[VersionOffset] = std::uint8_t(Version >> 8);
    out[VersionOffset + 1] = std::uint8_t(Version & 0xff);
    out[TypeOffset] = std::uint8_t(type);
    putBigEndian32(&out[SequenceOffset], sequence);
    putBigEndian32(&out[PeriodOffset], period);
    for (std::size_t at = HeaderSize; at < size; at += SignatureSize)
        std::memcpy(&out[at], Signature, std::min(SignatureSize, size - at));
    return out;
}

std::optional<ProbePacket> ProbePacket::parse(const std::uint8_t* bytes, std::size_t length)
{
    if (!bytes || length < HeaderSize || std::memcmp(bytes, Signature, SignatureSize) != 0)
        return std::nullopt;
    const unsigned version = (unsigned(bytes[VersionOffset]) << 8) | bytes[VersionOffset + 1];
    const auto type = std::int8_t(bytes[TypeOffset]);
    if (version != Version || type < TypeProbe || type > TypeLast)
        return std::nullopt;
    return ProbePacket { type, getBigEndian32(bytes + SequenceOffset),
        getBigEndian32(bytes + PeriodOffset) };
}

void ProbePacket::restamp(std::uint8_t* packet, std::int8_t type, std::uint32_t sequence)
{
    packet[TypeOffset] = std::uint8_t(type);
    putBigEndian32(packet + SequenceOffset, sequence);
}
