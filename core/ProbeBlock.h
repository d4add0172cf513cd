#pragma once

#include "core/ProbePacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// What a probe may carry beyond its number: a block at the start of its filler, where
// receivers of the plain format never look. The filler holds copies of the signature from
// offset 43 on, so its byte 43 is always 'L'; the block starts there instead with a marker
// whose first byte is not 'L' and whose 0xB5 no signature, no run of 0x00 and no run of
// 0xFF holds. Then, big-endian:
//
//   offset  size  field
//   0       4     marker B5 4C 56 58
//   4       1     format version, 1
//   5       1     flags, 0 (other values are refused by this version)
//   6       2     length of the whole block, marker to CRC, at least 12
//   8       ...   entries: a 1-byte type, a 2-byte length, that many bytes of value
//   length-4  4   CRC-32C (Castagnoli) of the block's bytes before it
//
// The block overwrites the filler and nothing else: a probe with a block differs from a
// plain one of the same size only in the block's bytes, and a probe too small for the block
// carries none. Only offset 43 is ever read; a block anywhere else is filler.
//
// The entry types, each value's layout beside it. A reader skips types it does not know by
// their length, so later versions may add types; a known type shorter than its layout makes
// the block refused.
enum class BlockEntry : std::uint8_t {
    // A mesh member: an 8-byte id, chosen at random at each start, then its name in UTF-8
    // (the rest of the value).
    Member = 1,
    // A page of what a mesh member hears: for each of some of the members it hears, 20
    // bytes: the 8-byte id, a 1-byte state (0 OK, 1 lost, 2 stopped), received and missing
    // among the last 60 numbers (1 byte each), received and missing since it was first heard
    // (4 bytes each), and the TTL its probes arrive with (0 when not known).
    ViewPage = 2,
    // When the probe was sent: 8 bytes, nanoseconds since the Unix epoch.
    SendTime = 3,
    // A stream's exact timing: 8 bytes, the period in nanoseconds, then 4 bytes, the probes
    // sent together each period.
    StreamTiming = 4,
    // What a mesh member hears in sum: the 1-byte TTL it sends with, 1 byte of flags (bit 0:
    // it cannot see queriers), how many members it hears OK, lost and stopped (2 bytes
    // each), then the querier it hears, 16 bytes, IPv4 as IPv4-mapped, all zero for none.
    MemberSummary = 5,
    // The block's signature, its last entry: an 8-byte run id, chosen at random at each
    // start, then HMAC-SHA256 of the block's bytes before the tag and of the probe's 4-byte
    // sequence number.
    Signature = 6,
};

struct BlockEntryInfo {
    BlockEntry type;
    const char* name; // as documents and dissectors name it
    std::size_t minimumLength; // of the value
};

constexpr std::array<BlockEntryInfo, 6> BlockEntries { {
    { BlockEntry::Member, "member", 8 },
    { BlockEntry::ViewPage, "view_page", 20 },
    { BlockEntry::SendTime, "send_time", 8 },
    { BlockEntry::StreamTiming, "stream_timing", 12 },
    { BlockEntry::MemberSummary, "member_summary", 24 },
    { BlockEntry::Signature, "signature", 40 },
} };

class ProbeBlock {
public:
    static constexpr std::size_t Offset = ProbePacket::HeaderSize;
    static constexpr std::array<std::uint8_t, 4> Marker { 0xB5, 'L', 'V', 'X' };
    static constexpr std::uint8_t FormatVersion = 1;
    static constexpr std::size_t HeaderSize = 8;
    static constexpr std::size_t CrcSize = 4;

    // An entry as read, its value in the datagram it came in.
    struct EntryView {
        std::uint8_t type;
        const std::uint8_t* value;
        std::size_t length;
    };
    // What a probe's filler held: no block, a block refused (a length that does not fit, a
    // wrong CRC, an unknown version or flags, an entry that overruns it or is too short for
    // its type), or the entries of a block trusted.
    struct Reading {
        enum Outcome { None, Refused, Trusted } outcome = None;
        std::vector<EntryView> entries;
        const std::uint8_t* bytes = nullptr; // the block's first, when trusted
    };

    // False, the block unchanged, where the value is too long for an entry.
    bool add(BlockEntry type, const std::uint8_t* value, std::size_t length);
    // The whole block's bytes.
    std::size_t size() const { return HeaderSize + m_entries.size() + CrcSize; }
    // Overwrites the last bytes of the last entry's value, as a signature is put in.
    void replaceTail(const std::uint8_t* bytes, std::size_t length);
    // Writes the block over the filler of a built probe; false, the probe untouched, where
    // it does not fit.
    bool writeInto(std::vector<std::uint8_t>& probe) const;
    // Writes the CRC of a block whose bytes before it changed in place.
    static void seal(std::uint8_t* block, std::size_t length);

    // Reads the block of a datagram that parsed as a probe; never reads past length.
    static Reading read(const std::uint8_t* datagram, std::size_t length);

private:
    std::vector<std::uint8_t> m_entries; // type, length and value of each, in order
};

// CRC-32C (Castagnoli, reflected, as iSCSI and SCTP use it).
std::uint32_t crc32c(const std::uint8_t* bytes, std::size_t length);
