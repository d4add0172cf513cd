#pragma once

#include <cstdint>

// When a stream's probes are due: bursts of K probes, the first burst at the start and one
// every period after it. The period is kept as an exact fraction of nanoseconds (K × 10^9 ÷
// rate), and each burst's time is counted from the start, so the schedule never drifts
// however long it runs. Times are a monotonic clock's nanoseconds, given by the caller.
//
// A sender asks what is due, sends it, and says so. One that fell behind is owed the probes
// it missed and sends them at once: numbers are never skipped. A probe that leaves more than
// LateAfterNs after its time left behind schedule, and is counted.
class Pacer {
public:
    static constexpr std::int64_t LateAfterNs = 1'000'000;

    // Probes a second, in bursts of the given size.
    static Pacer atRate(std::uint32_t probesPerSecond, std::uint32_t burst);
    // A burst each period of whole seconds.
    static Pacer everyPeriod(std::uint32_t periodSeconds, std::uint32_t burst);

    // The schedule starts again from now, its first burst due at once; what was counted late
    // stays counted. Also how a paused stream resumes, owing nothing for the pause.
    void startAt(std::int64_t nowNs);
    // The probes due by now and not sent yet.
    std::uint64_t due(std::int64_t nowNs) const;
    // When the next probe not sent yet is due.
    std::int64_t nextDueNs() const;
    // The next count probes left now.
    void sent(std::uint64_t count, std::int64_t nowNs);

    std::uint64_t lateProbes() const { return m_late; }
    // The most a late probe was behind its time since the last call; 0 for none late.
    std::int64_t takeWorstLagNs();

    // The period of the bursts, to the nearest nanosecond, as probes tell it.
    std::int64_t periodNs() const
    {
        return (m_periodNumerator + m_periodDenominator / 2) / m_periodDenominator;
    }
    std::uint32_t burst() const { return m_burst; }

private:
    Pacer(std::int64_t numerator, std::int64_t denominator, std::uint32_t burst);
    // Since the start, without overflow for days at any rate.
    std::int64_t burstTime(std::uint64_t burst) const;
    std::uint64_t burstsDueBy(std::int64_t elapsedNs) const;

    std::int64_t m_periodNumerator; // the period is numerator ÷ denominator nanoseconds
    std::int64_t m_periodDenominator;
    std::uint32_t m_burst;
    std::int64_t m_startNs = 0;
    std::uint64_t m_sent = 0; // since the schedule started
    std::uint64_t m_late = 0;
    std::int64_t m_worstLagNs = 0;
};
