#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The probes of a stream, built once with their block (send_time, then stream_timing):
// a send only stamps a prebuilt probe with its type, number and send time, and seals the
// block again. Nothing is allocated per probe.
class StreamProbes {
public:
    struct Timing {
        std::int64_t periodNs; // of the bursts
        std::uint32_t burst;
        std::uint32_t headerPeriodSeconds; // what receivers of the plain format are told
    };
    // The header and a block with both entries.
    static constexpr std::size_t MinimumSize = 81;

    // Room for slotCount probes of up to maxSize bytes (at least MinimumSize).
    StreamProbes(std::size_t slotCount, std::size_t maxSize, const Timing& timing);

    // The slot's probe, ready to send: its first maxSize bytes are a whole probe, and so is
    // any shorter start of them down to MinimumSize.
    std::uint8_t* stamp(
        std::size_t slot, std::int8_t type, std::uint32_t sequence, std::int64_t sendTimeNs);
    std::size_t slotCount() const { return m_slots; }
    std::size_t maxSize() const { return m_maxSize; }

private:
    std::size_t m_slots;
    std::size_t m_maxSize;
    std::vector<std::uint8_t> m_bytes; // slot after slot
};
