#include "probe/CProbePacket.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The NUL is part of the signature: 31 characters and the terminator make 32 bytes.
constexpr char SIGNATURE[PROBE_SIGNATURE_SIZE] = "Lumivox multicast probe packets";
static_assert(sizeof(SIGNATURE) == PROBE_SIGNATURE_SIZE);

constexpr std::size_t OFFSET_VERSION = 32;
constexpr std::size_t OFFSET_TYPE = 34;
constexpr std::size_t OFFSET_SEQUENCE = 35;
constexpr std::size_t OFFSET_FREQUENCY = 39;

void putBigEndian32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t getBigEndian32(const std::uint8_t* at)
{
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) | (std::uint32_t(at[2]) << 8)
        | std::uint32_t(at[3]);
}

} // namespace

CProbePacket::CProbePacket(
    std::int8_t type, std::uint32_t sequence, std::uint32_t frequency, std::uint32_t size)
    : m_nSize(size)
    , m_nSequence(sequence)
    , m_nType(type)
    , m_nFrequency(frequency)
{
}

CProbePacket::~CProbePacket() = default;

const std::uint8_t* CProbePacket::Signature()
{
    return reinterpret_cast<const std::uint8_t*>(SIGNATURE);
}

const std::uint8_t* CProbePacket::Build()
{
    if (m_nSize < PROBE_HEADER_SIZE)
        return nullptr;
    if (!m_pBuffer) {
        m_pBuffer.reset(new (std::nothrow) std::uint8_t[m_nSize]);
        if (!m_pBuffer)
            return nullptr;
    }
    std::uint8_t* out = m_pBuffer.get();
    std::memcpy(out, SIGNATURE, PROBE_SIGNATURE_SIZE);
    out[OFFSET_VERSION] = static_cast<std::uint8_t>(PROBE_VERSION >> 8);
    out[OFFSET_VERSION + 1] = static_cast<std::uint8_t>(PROBE_VERSION & 0xff);
    out[OFFSET_TYPE] = static_cast<std::uint8_t>(m_nType);
    putBigEndian32(out + OFFSET_SEQUENCE, m_nSequence);
    putBigEndian32(out + OFFSET_FREQUENCY, m_nFrequency);
    for (std::size_t at = PROBE_HEADER_SIZE; at < m_nSize; at += PROBE_SIGNATURE_SIZE)
        std::memcpy(out + at, SIGNATURE, std::min(PROBE_SIGNATURE_SIZE, m_nSize - at));
    return out;
}

bool CProbePacket::Parse(const std::uint8_t* bytes, std::size_t length)
{
    if (!bytes || length < PROBE_SIGNATURE_SIZE
        || std::memcmp(bytes, SIGNATURE, PROBE_SIGNATURE_SIZE) != 0)
        return false;
    if (length < PROBE_HEADER_SIZE)
        return false;
    const unsigned version = (unsigned(bytes[OFFSET_VERSION]) << 8) | bytes[OFFSET_VERSION + 1];
    if (version != PROBE_VERSION)
        return false;
    const auto type = static_cast<std::int8_t>(bytes[OFFSET_TYPE]);
    if (type < PROBE_TYPE_PROBE || type > PROBE_TYPE_LAST)
        return false;
    m_nType = type;
    m_nSequence = getBigEndian32(bytes + OFFSET_SEQUENCE);
    m_nFrequency = getBigEndian32(bytes + OFFSET_FREQUENCY);
    return true;
}
