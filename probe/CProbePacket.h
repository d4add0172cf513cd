#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Smallest packet ever built or accepted: signature, version, type, sequence, frequency.
constexpr std::size_t PROBE_HEADER_SIZE = 43;
constexpr std::uint16_t PROBE_VERSION = 1;
constexpr std::size_t PROBE_SIGNATURE_SIZE = 32;

// Types 1 to 3 are accepted; transmitters send only the ordinary probe.
constexpr std::int8_t PROBE_TYPE_PROBE = 1;
constexpr std::int8_t PROBE_TYPE_LAST = 3;

// One probe packet, built into a buffer on the sending side or parsed from a datagram
// on the receiving side. All multi-byte fields are big-endian and unaligned on the wire.
class CProbePacket {
public:
    CProbePacket() = default;
    CProbePacket(
        std::int8_t type, std::uint32_t sequence, std::uint32_t frequency, std::uint32_t size);
    virtual ~CProbePacket();

    CProbePacket(const CProbePacket&) = delete;
    CProbePacket& operator=(const CProbePacket&) = delete;

    // The packet bytes (m_nSize of them), or nullptr when the size is below the header.
    // They stay valid until the object is destroyed.
    const std::uint8_t* Build();
    bool Parse(const std::uint8_t* bytes, std::size_t length);

    static std::size_t MinSize() { return PROBE_HEADER_SIZE; }
    static const std::uint8_t* Signature();

    std::uint32_t GetSize() const { return m_nSize; }
    std::uint32_t GetSequence() const { return m_nSequence; }
    std::int8_t GetType() const { return m_nType; }
    std::uint32_t GetFrequency() const { return m_nFrequency; }

private:
    std::uint32_t m_nSize = 0;
    std::uint32_t m_nSequence = 0;
    std::int8_t m_nType = 0;
    std::uint32_t m_nFrequency = 0;
    std::unique_ptr<std::uint8_t[]> m_pBuffer;
};
