#include "core/Pacer.h"

#include <algorithm>
#include <utility>

namespace {
constexpr std::int64_t NsPerSecond = 1'000'000'000;
}

Pacer::Pacer(std::int64_t numerator, std::int64_t denominator, std::uint32_t burst)
    : m_periodNumerator(numerator)
    , m_periodDenominator(denominator)
    , m_burst(std::max<std::uint32_t>(burst, 1))
{
}

Pacer Pacer::atRate(std::uint32_t probesPerSecond, std::uint32_t burst)
{
    return Pacer(std::int64_t(std::max<std::uint32_t>(burst, 1)) * NsPerSecond,
        std::max<std::uint32_t>(probesPerSecond, 1), burst);
}

Pacer Pacer::everyPeriod(std::uint32_t periodSeconds, std::uint32_t burst)
{
    return Pacer(std::int64_t(std::max<std::uint32_t>(periodSeconds, 1)) * NsPerSecond, 1, burst);
}

// The numerator is at most 10^12 (a rate's) or 8.64 × 10^13 (a day's period, over 1), and the
// denominator at most 10^6: the products below stay under 2^63.
std::int64_t Pacer::burstTime(std::uint64_t burst) const
{
    const auto denominator = std::uint64_t(m_periodDenominator);
    return std::int64_t(burst / denominator) * m_periodNumerator
        + std::int64_t(burst % denominator) * m_periodNumerator / m_periodDenominator;
}

std::uint64_t Pacer::burstsDueBy(std::int64_t elapsedNs) const
{
    if (elapsedNs < 0)
        return 0;
    const std::int64_t whole = elapsedNs / m_periodNumerator;
    const std::int64_t rest = elapsedNs % m_periodNumerator;
    return std::uint64_t(
               whole * m_periodDenominator + rest * m_periodDenominator / m_periodNumerator)
        + 1;
}

void Pacer::startAt(std::int64_t nowNs)
{
    m_startNs = nowNs;
    m_sent = 0;
}

std::uint64_t Pacer::due(std::int64_t nowNs) const
{
    const std::uint64_t owed = burstsDueBy(nowNs - m_startNs) * m_burst;
    return owed > m_sent ? owed - m_sent : 0;
}

std::int64_t Pacer::nextDueNs() const { return m_startNs + burstTime(m_sent / m_burst); }

void Pacer::sent(std::uint64_t count, std::int64_t nowNs)
{
    const std::uint64_t dueLongAgo = burstsDueBy(nowNs - LateAfterNs - m_startNs) * m_burst;
    const std::uint64_t late = dueLongAgo > m_sent ? std::min(count, dueLongAgo - m_sent) : 0;
    if (late) {
        m_late += late;
        m_worstLagNs = std::max(m_worstLagNs, nowNs - nextDueNs());
    }
    m_sent += count;
}

std::int64_t Pacer::takeWorstLagNs() { return std::exchange(m_worstLagNs, 0); }
