#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How a sender's probes arrive, from the kernel's time of each arrival and the send time a
// stream's probes carry (both CLOCK_REALTIME nanoseconds): the interarrival jitter of RFC
// 3550, the rate over the last second, the outages by length, and, where the two clocks
// agree, the one-way delay.
class ArrivalTiming {
public:
    // An outage is the arrival after missing numbers less the arrival before them, less one
    // period; counted by length in ms: [1, 10), [10, 100), [100, 1000) and at least 1000.
    static constexpr std::array<std::int64_t, 4> OutageFloorsMs { 1, 10, 100, 1000 };
    static constexpr std::size_t DelaysKept = 1000; // for the median
    // A transit time that moves by more than this between two probes is a clock set, not
    // jitter: the jitter goes on from the next pair.
    static constexpr std::int64_t ClockStepNs = 1'000'000'000;

    struct Delay {
        double minMs = 0;
        double medianMs = 0; // of the last DelaysKept
        double maxMs = 0;
    };

    // A new number arrived, after missing others; sendNs is 0 for a probe without a send time.
    // The delay is kept only where the clocks agree. True when a clock was set since the last
    // probe.
    bool arrived(std::int64_t arrivalNs, std::int64_t sendNs, std::uint64_t missing,
        std::int64_t periodNs, bool clocksAgree);

    // None before two probes that carried send times.
    std::optional<double> jitterMs() const;
    // New numbers a second: those of the last whole second, which ended at most a tenth of a
    // second before now.
    double rate(std::int64_t nowNs) const;
    std::int64_t longestOutageNs() const { return m_longestOutageNs; }
    const std::array<std::uint64_t, 4>& outages() const { return m_outages; }
    std::int64_t outageSumNs() const { return m_outageSumNs; } // of those counted
    std::optional<Delay> delay() const;
    std::uint64_t clockSteps() const { return m_clockSteps; }

private:
    static constexpr int RateSlots
        = 11; // of a tenth of a second each: a second and the one filling
    static constexpr std::int64_t SlotNs = 100'000'000;

    std::int64_t m_lastArrivalNs = 0;
    std::int64_t m_lastTransitNs = 0; // arrival less send time, of the last probe that had one
    bool m_haveTransit = false;
    double m_jitterNs = 0;
    bool m_haveJitter = false;
    std::uint64_t m_clockSteps = 0;
    std::array<std::uint32_t, RateSlots> m_slots {};
    std::int64_t m_slot = 0; // the slot of the last arrival, in tenths of a second
    std::int64_t m_longestOutageNs = 0;
    std::array<std::uint64_t, 4> m_outages {};
    std::int64_t m_outageSumNs = 0;
    std::vector<std::int64_t> m_delaysNs; // the last DelaysKept, written round
    std::size_t m_nextDelay = 0;
    std::int64_t m_minDelayNs = 0;
    std::int64_t m_maxDelayNs = 0;
};
