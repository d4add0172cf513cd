#include "core/Source.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr std::uint32_t Most = std::numeric_limits<std::uint32_t>::max();

// Sequence numbers compare in 32-bit serial arithmetic (RFC 1982), so they wrap.
bool serialBefore(std::uint32_t a, std::uint32_t b) { return std::int32_t(b - a) > 0; }

std::uint32_t saturated(std::uint64_t value)
{
    return std::uint32_t(std::min<std::uint64_t>(value, Most));
}

} // namespace

Source::Source(const std::string& from, std::uint16_t fromPort, std::time_t time,
    std::int64_t nowMs, std::uint32_t advertisedPeriod, std::uint32_t sequence)
    : address(from)
    , port(fromPort)
    , period(advertisedPeriod)
    , m_first(sequence)
    , m_highest(sequence)
    , m_highestAtMs(nowMs)
{
    count(time, nowMs, sequence, {});
}

bool Source::remembers(std::uint32_t sequence) const
{
    if (sequence == 0 && m_history.size() < HistorySize)
        return true;
    return sequence <= m_historyCeiling
        && std::find(m_history.begin(), m_history.end(), sequence) != m_history.end();
}

// A first sequence 0 is a duplicate, as it always was.
Source::Arrival Source::count(
    std::time_t time, std::int64_t nowMs, std::uint32_t sequence, const LossRules& rules)
{
    lastReceived = time;
    lastArrivalMs = nowMs;
    if (remembers(sequence)) {
        duplicates = saturated(std::uint64_t(duplicates) + 1);
        Arrival arrival;
        arrival.duplicate = true;
        return arrival;
    }
    lastSequence = sequence;
    m_historyCeiling = std::max(m_historyCeiling, sequence);
    if (m_history.size() < HistorySize)
        m_history.push_back(sequence);
    else
        m_history[m_historyNext] = sequence;
    m_historyNext = (m_historyNext + 1) % HistorySize;
    totalReceived = saturated(std::uint64_t(totalReceived) + 1);

    // What was overdue until this arrival was a pause if the numbers go on where they
    // stopped, and an outage for every number skipped.
    const auto missedBefore = std::pair(totalMissed, consecutiveMissed);
    checkOverdue(nowMs, rules);
    Arrival arrival;
    if (serialBefore(m_highest, sequence)) {
        arrival.missing = sequence - m_highest - 1;
        m_gaps = saturated(std::uint64_t(m_gaps) + arrival.missing);
        m_highest = sequence;
        m_highestAtMs = nowMs;
    } else if (serialBefore(m_first, sequence) && m_gaps > 0) {
        --m_gaps; // a late number is taken back out
    }
    consecutiveReceived = arrival.missing ? 1 : saturated(std::uint64_t(consecutiveReceived) + 1);
    countMissed(m_gaps, 0);
    arrival.missedChanged = std::pair(totalMissed, consecutiveMissed) != missedBefore || lost;
    if (lost) {
        arrival.recovered = true;
        arrival.lostForMs = nowMs - m_lostSinceMs;
        lost = false;
    }
    return arrival;
}

bool Source::checkOverdue(std::int64_t nowMs, const LossRules& rules)
{
    // After the highest number arrived at t, the k-th next is overdue from t + k * period +
    // the latency.
    const std::int64_t periodMs = std::int64_t(std::max<std::uint32_t>(period, 1)) * 1000;
    const std::int64_t late = nowMs - m_highestAtMs - rules.maxLatencyMs;
    const std::uint32_t overdue = late < periodMs ? 0 : saturated(std::uint64_t(late / periodMs));
    if (overdue == consecutiveMissed)
        return false;
    if (overdue > 0)
        consecutiveReceived = 0;
    countMissed(m_gaps, overdue);
    if (!lost && consecutiveMissed >= rules.lossThreshold) {
        lost = true;
        m_lostSinceMs = nowMs;
    }
    return true;
}

void Source::countMissed(std::uint32_t gaps, std::uint32_t overdue)
{
    consecutiveMissed = overdue;
    totalMissed = saturated(std::uint64_t(gaps) + overdue);
}
