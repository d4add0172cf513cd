#include "core/Source.h"

#include "core/Defaults.h"
#include "core/ProbePacket.h"

#include <algorithm>
#include <limits>
#include <utility>

Source::Source(const std::string& from, std::uint16_t fromPort, std::time_t time,
    std::int64_t nowMs, std::uint32_t advertisedPeriod, std::uint32_t sequence, bool stopping,
    const ProbeTiming& probeTiming)
    : address(from)
    , port(fromPort)
    , period(advertisedPeriod)
    , recent(sequence)
    , m_first(sequence)
    , m_highest(sequence)
    , m_highestAtMs(nowMs)
    // The period it advertised, as a sender may really have one.
    , m_numberPeriodNs(
          std::int64_t(std::clamp(advertisedPeriod, Limits::period.min, Limits::period.max))
          * 1'000'000'000)
{
    count(time, nowMs, sequence, {}, stopping, probeTiming);
}

// No new number is above the highest in serial order: one above it, as one in order is,
// needs no search, before the numbers wrap and after.
bool Source::remembers(std::uint32_t sequence) const
{
    return !serialBefore(m_highest, sequence)
        && std::find(m_history.begin(), m_history.end(), sequence) != m_history.end();
}

Source::Arrival Source::count(std::time_t time, std::int64_t nowMs, std::uint32_t sequence,
    const LossRules& rules, bool stopping, const ProbeTiming& probeTiming)
{
    Arrival arrival;
    // The first block that tells the stream's timing sets it, as the first probe's header
    // does for the rest: a burst's numbers are due together, so on average a number is due
    // every period over the burst.
    if (probeTiming.periodNs > 0 && !m_periodFromBlock) {
        m_numberPeriodNs = std::max<std::int64_t>(1, probeTiming.periodNs / probeTiming.burst);
        m_periodFromBlock = true;
    }
    arrival.duplicate = remembers(sequence);
    const auto missedBefore = std::pair(totalMissed, consecutiveMissed);
    if (!arrival.duplicate) {
        // What fell overdue before this arrival is counted first, as a tick would have, while
        // the source still shows its last probe: one past its threshold goes lost here.
        const bool wasLost = lost;
        checkOverdue(nowMs, rules);
        arrival.lost = lost && !wasLost;
    }
    const std::int64_t silentSinceMs = std::exchange(lastArrivalMs, nowMs);
    lastReceived = time;
    if (arrival.duplicate) {
        ++duplicates;
        recent.repeated(sequence);
        return arrival;
    }
    lastSequence = sequence;
    if (m_history.size() < HistorySize)
        m_history.push_back(sequence);
    else
        m_history[m_historyNext] = sequence;
    m_historyNext = (m_historyNext + 1) % HistorySize;
    ++totalReceived;

    // What was overdue until this arrival was a pause if the numbers go on where they
    // stopped, and an outage for every number skipped.
    if (serialBefore(m_highest, sequence)) {
        arrival.missing = sequence - m_highest - 1;
        m_gaps += arrival.missing;
        m_highest = sequence;
        m_highestAtMs = nowMs;
        arrival.resumed = std::exchange(stopped, false) && !stopping;
    } else if (sequence != m_highest) {
        ++late;
        arrival.late = true;
        if (serialBefore(m_first, sequence) && m_gaps > 0)
            --m_gaps; // it was counted missing when a higher one came
    }
    recent.received(sequence, arrival.late);
    if (probeTiming.arrivalNs)
        arrival.clockStepped = timing.arrived(probeTiming.arrivalNs, probeTiming.sendNs,
            arrival.missing, probeTiming.periodNs > 0 ? probeTiming.periodNs : m_numberPeriodNs,
            probeTiming.clocksAgree);
    consecutiveReceived = arrival.missing ? 1 : consecutiveReceived + 1;
    countMissed(m_gaps, 0);
    arrival.missedChanged = std::pair(totalMissed, consecutiveMissed) != missedBefore || lost;
    if (lost) {
        arrival.recovered = true;
        arrival.silentForMs = nowMs - silentSinceMs;
        m_longestOutageMs = std::max(m_longestOutageMs, arrival.silentForMs);
        lost = false;
    }
    // Only the highest number stops it: a stopping message that comes late, after the sender
    // went on, is old news.
    if (stopping && !stopped && sequence == m_highest) {
        stopped = true;
        arrival.stopped = true;
    }
    return arrival;
}

double Source::lossPercent() const
{
    const double all = double(totalReceived) + double(totalMissed);
    return all > 0 ? 100.0 * totalMissed / all : 0.0;
}

std::int64_t Source::longestOutageMs(std::int64_t nowMs) const
{
    return lost ? std::max(m_longestOutageMs, nowMs - lastArrivalMs) : m_longestOutageMs;
}

std::int64_t Source::dueAfterMs(std::uint64_t count) const
{
    // The period's whole ms, then its rest, rounded up: no product passes 2^63 at any rate.
    const auto ns = std::uint64_t(m_numberPeriodNs);
    return std::int64_t(
        count * (ns / 1'000'000) + (count * (ns % 1'000'000) + 999'999) / 1'000'000);
}

bool Source::checkOverdue(std::int64_t nowMs, const LossRules& rules)
{
    if (stopped)
        return false;
    // After the highest number arrived at t, the k-th next is overdue from t + k * period +
    // the latency.
    const std::int64_t pastDue = nowMs - m_highestAtMs - rules.maxLatencyMs;
    const std::uint64_t overdue
        = pastDue < 0 ? 0 : std::uint64_t(pastDue) * 1'000'000 / std::uint64_t(m_numberPeriodNs);
    if (overdue == consecutiveMissed)
        return false;
    if (overdue > 0)
        consecutiveReceived = 0;
    countMissed(m_gaps, overdue);
    if (!lost)
        recent.setOverdue(overdue);
    if (!lost && consecutiveMissed >= rules.lossThreshold) {
        lost = true;
        ++outages;
        m_lastLoss = { m_highestAtMs + rules.maxLatencyMs + dueAfterMs(rules.lossThreshold),
            lastSequence, lastReceived };
    }
    return true;
}

std::int64_t Source::nextDueMs(const LossRules& rules) const
{
    if (stopped)
        return std::numeric_limits<std::int64_t>::max();
    return m_highestAtMs + rules.maxLatencyMs + dueAfterMs(consecutiveMissed + 1);
}

void Source::countMissed(std::uint64_t gaps, std::uint64_t overdue)
{
    consecutiveMissed = overdue;
    totalMissed = gaps + overdue;
}
