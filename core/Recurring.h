#pragma once

#include <cstdint>

// What anyone on a network can make happen again and again: counted each time, and told at
// the first, then at most once a minute while more comes, with the count so far.
class Recurring {
public:
    static constexpr std::int64_t RetellAfterMs = 60'000;

    void happened() { ++m_count; }
    std::uint64_t count() const { return m_count; }
    // Whether to tell of it now; once it says so, the count is taken as told.
    bool due(std::int64_t nowMs)
    {
        if (m_count == m_told || (m_told > 0 && nowMs - m_toldAtMs < RetellAfterMs))
            return false;
        m_told = m_count;
        m_toldAtMs = nowMs;
        return true;
    }

private:
    std::uint64_t m_count = 0;
    std::uint64_t m_told = 0;
    std::int64_t m_toldAtMs = 0;
};
