#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

constexpr std::size_t SEQ_HISTORY_SIZE = 1024;

// One probe source, told apart by its address text and port together.
class CRxSource {
public:
    CRxSource(const std::string& address, std::uint32_t port, std::time_t time,
        std::uint32_t frequency, std::uint32_t sequence);
    virtual ~CRxSource();

    void Reset();
    void Update(std::time_t time, std::uint32_t sequence);

    std::string m_strAddress;
    std::uint32_t m_nPort = 0;
    std::uint32_t m_nLastSeq = 0;
    std::time_t m_timeLastRx = 0;
    std::uint32_t m_nFrequency = 0;
    // The four counters are columns of the list, kept for loss counting to come; nothing
    // counts into them yet, so they stay 0.
    std::int32_t m_nConsRx = 0;
    std::int32_t m_nConsMiss = 0;
    std::int32_t m_nTotalRx = 0;
    std::int32_t m_nTotalMiss = 0;
    // Saturates rather than wraps: a sender replaying one number at full speed would
    // otherwise pass 2^32 within hours.
    std::uint32_t m_nDups = 0;
    std::array<std::uint32_t, SEQ_HISTORY_SIZE> m_seqHistory {};
    std::uint32_t m_nHistoryPos = 0;
};
