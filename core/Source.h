#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

// One probe source, told apart by its address and port together, with what its probes
// told so far.
struct Source {
    // The numbers remembered to tell a duplicate from a new one.
    static constexpr std::size_t HistorySize = 1024;

    // A source is made at its first probe, and keeps the period that probe advertised.
    Source(const std::string& from, std::uint16_t fromPort, std::time_t time,
        std::uint32_t advertisedPeriod, std::uint32_t sequence);

    // Counts in one more probe: a new number, or a duplicate of a remembered one.
    void count(std::time_t time, std::uint32_t sequence);

    std::string address;
    std::uint16_t port = 0;
    std::time_t lastReceived = 0;
    std::uint32_t lastSequence = 0; // the last number that was new
    std::uint32_t period = 0;
    // Columns of the list kept for loss counting to come; nothing counts into them yet.
    std::uint32_t consecutiveReceived = 0;
    std::uint32_t consecutiveMissed = 0;
    std::uint32_t totalReceived = 0;
    std::uint32_t totalMissed = 0;
    // Saturates rather than wraps: a sender replaying one number at full speed would
    // otherwise pass 2^32 within hours.
    std::uint32_t duplicates = 0;
    // The last HistorySize numbers that were new, written round; unused slots hold 0.
    std::array<std::uint32_t, HistorySize> history {};
    std::size_t historyNext = 0;
};
