#include "core/ProbeBlock.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t EntryHeaderSize = 3;
constexpr std::size_t MaximumLength = 0xffff;

constexpr std::array<std::uint32_t, 256> CrcTable = [] {
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1)));
        table[byte] = crc;
    }
    return table;
}();

std::uint16_t word(const std::uint8_t* at) { return std::uint16_t((at[0] << 8) | at[1]); }

std::uint32_t longWord(const std::uint8_t* at)
{
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) | (std::uint32_t(at[2]) << 8)
        | std::uint32_t(at[3]);
}

std::size_t minimumLength(std::uint8_t type)
{
    for (const BlockEntryInfo& info : BlockEntries) {
        if (std::uint8_t(info.type) == type)
            return info.minimumLength;
    }
    return 0; // unknown: skipped by its length
}

} // namespace

std::uint32_t crc32c(const std::uint8_t* bytes, std::size_t length)
{
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ CrcTable[(crc ^ bytes[i]) & 0xff];
    return crc ^ 0xffffffffu;
}

bool ProbeBlock::add(BlockEntry type, const std::uint8_t* value, std::size_t length)
{
    if (size() + EntryHeaderSize + length > MaximumLength)
        return false;
    m_entries.push_back(std::uint8_t(type));
    m_entries.push_back(std::uint8_t(length >> 8));
    m_entries.push_back(std::uint8_t(length));
    m_entries.insert(m_entries.end(), value, value + length);
    return true;
}

void ProbeBlock::replaceTail(const std::uint8_t* bytes, std::size_t length)
{
    std::copy(bytes, bytes + std::min(length, m_entries.size()),
        m_entries.end() - std::ptrdiff_t(std::min(length, m_entries.size())));
}

bool ProbeBlock::writeInto(std::vector<std::uint8_t>& probe) const
{
    const std::size_t length = size();
    if (probe.size() < Offset + length)
        return false;
    std::uint8_t* block = probe.data() + Offset;
    std::copy(Marker.begin(), Marker.end(), block);
    block[4] = FormatVersion;
    block[5] = 0;
    block[6] = std::uint8_t(length >> 8);
    block[7] = std::uint8_t(length);
    std::copy(m_entries.begin(), m_entries.end(), block + HeaderSize);
    seal(block, length);
    return true;
}

void ProbeBlock::seal(std::uint8_t* block, std::size_t length)
{
    const std::uint32_t crc = crc32c(block, length - CrcSize);
    for (std::size_t i = 0; i < CrcSize; ++i)
        block[length - CrcSize + i] = std::uint8_t(crc >> (24 - 8 * i));
}

ProbeBlock::Reading ProbeBlock::read(const std::uint8_t* datagram, std::size_t length)
{
    Reading reading;
    if (length < Offset + Marker.size()
        || !std::equal(Marker.begin(), Marker.end(), datagram + Offset))
        return reading;
    reading.outcome = Reading::Refused;
    const std::uint8_t* block = datagram + Offset;
    const std::size_t room = length - Offset;
    if (room < HeaderSize + CrcSize || block[4] != FormatVersion || block[5] != 0)
        return reading;
    const std::size_t size = word(block + 6);
    if (size < HeaderSize + CrcSize || size > room
        || crc32c(block, size - CrcSize) != longWord(block + size - CrcSize))
        return reading;
    const std::uint8_t* end = block + size - CrcSize;
    std::vector<EntryView> entries;
    for (const std::uint8_t* at = block + HeaderSize; at < end;) {
        if (std::size_t(end - at) < EntryHeaderSize)
            return reading;
        const std::size_t valueLength = word(at + 1);
        if (std::size_t(end - at) - EntryHeaderSize < valueLength
            || valueLength < minimumLength(at[0]))
            return reading;
        entries.push_back({ at[0], at + EntryHeaderSize, valueLength });
        at += EntryHeaderSize + valueLength;
    }
    reading.outcome = Reading::Trusted;
    reading.entries = std::move(entries);
    reading.bytes = block;
    return reading;
}
