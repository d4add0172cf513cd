#pragma once

#include "core/ArrivalTiming.h"
#include "core/Defaults.h"
#include "core/RecentMarks.h"

#include <cstdint>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

// How a receiver judges loss: a number is overdue once its time, by the period the source
// advertises, has passed by more than the latency; a source is lost once this many numbers
// in a row are overdue.
struct LossRules {
    std::int64_t maxLatencyMs = std::int64_t(Defaults::maxLatency) * 1000;
    std::uint32_t lossThreshold = Defaults::lossThreshold;
};

// When a probe arrived, and what its block said of its timing: zeros for what is not told.
struct ProbeTiming {
    std::int64_t arrivalNs = 0; // the kernel's CLOCK_REALTIME
    std::int64_t sendNs = 0; // the sender's, from the block
    std::int64_t periodNs = 0; // of the stream's bursts, from the block
    std::uint32_t burst = 1;
    bool clocksAgree = false; // the same host, or clocks the user says are synchronised
};

// One probe source, told apart by its address and port together, with what its probes
// told so far. Times for loss are milliseconds of a steady clock; lastReceived is the wall
// clock's, for people.
struct Source {
    // The numbers remembered to tell a duplicate from a new one.
    static constexpr std::size_t HistorySize = 1024;

    // What one arrival changed.
    struct Arrival {
        bool duplicate = false;
        bool late = false; // a new number that came after a higher one
        bool missedChanged = false; // a missed count, or the state, changed
        // It was past its Loss Threshold when this arrival came, before a tick found it: it
        // is told lost, then recovered.
        bool lost = false;
        bool recovered = false; // the source was lost until now
        bool stopped = false; // its sender said it stops: nothing more is overdue
        bool resumed = false; // a number above the one it stopped with
        std::uint32_t missing = 0; // numbers skipped by this arrival
        std::int64_t silentForMs = 0; // recovered: since its last probe before the outage
        bool clockStepped = false; // a clock was set since its last probe
    };

    // A source is made at its first probe, and keeps the period that probe advertised; a
    // stream's numbers are judged by the exact period its blocks tell.
    Source(const std::string& from, std::uint16_t fromPort, std::time_t time, std::int64_t nowMs,
        std::uint32_t advertisedPeriod, std::uint32_t sequence, bool stopping = false,
        const ProbeTiming& probeTiming = {});

    // Counts in one more probe: a new number, or a duplicate of a remembered one; stopping
    // for the message a transmitter sends as it stops.
    Arrival count(std::time_t time, std::int64_t nowMs, std::uint32_t sequence,
        const LossRules& rules, bool stopping = false, const ProbeTiming& probeTiming = {});
    // Counts the numbers overdue by now; true when a counter changed. Nothing falls overdue
    // while the source is stopped.
    bool checkOverdue(std::int64_t nowMs, const LossRules& rules);
    // When checkOverdue() will next find a change: the next number falls overdue then, or
    // earlier when an arrival left one overdue uncounted. Never while stopped.
    std::int64_t nextDueMs(const LossRules& rules) const;
    // Whether the number is among the last HistorySize new ones.
    bool remembers(std::uint32_t sequence) const;
    // Total Miss of all numbers, received or missed, in percent; 0 before any.
    double lossPercent() const;
    // The longest time it went without a probe while lost, the outage under way included.
    std::int64_t longestOutageMs(std::int64_t nowMs) const;
    // The last time it went lost: the moment the rules made it so, and its last probe then.
    struct Loss {
        std::int64_t atMs = 0;
        std::uint32_t lastSequence = 0;
        std::time_t lastReceived = 0;
    };
    const Loss& lastLoss() const { return m_lastLoss; }
    // Between numbers: the header's period, or the exact one a stream's blocks tell.
    std::int64_t numberPeriodNs() const { return m_numberPeriodNs; }

    std::string address;
    std::uint16_t port = 0;
    std::time_t lastReceived = 0;
    std::int64_t lastArrivalMs = 0; // of any probe, duplicates too
    std::uint32_t lastSequence = 0; // the last number that was new
    std::uint32_t period = 0;
    // 64 bits: a stream of 100,000 probes a second passes 2^32 in half a day.
    std::uint64_t consecutiveReceived = 0; // new numbers since the last one counted missed
    std::uint64_t consecutiveMissed = 0; // numbers overdue since the last arrival
    std::uint64_t totalReceived = 0; // new numbers
    std::uint64_t totalMissed = 0; // numbers skipped and not arrived since, and overdue ones
    std::uint64_t duplicates = 0;
    std::uint64_t late = 0; // new numbers that came after a higher one
    int receivedTtl = -1; // the TTL the last probe arrived with; -1 when unknown
    std::int64_t pathChangeToldAtMs = std::numeric_limits<std::int64_t>::min() / 2;
    bool lost = false;
    bool stopped = false;
    std::uint64_t outages = 0; // how many times it went lost
    // The marks of the last numbers expected; a lost source's keep the picture it was lost with.
    RecentMarks recent;
    ArrivalTiming timing; // of the arrivals the kernel timed

private:
    void countMissed(std::uint64_t gaps, std::uint64_t overdue);
    // The ms from the highest number's arrival by which count more numbers are due.
    std::int64_t dueAfterMs(std::uint64_t count) const;

    std::uint32_t m_first = 0;
    std::uint32_t m_highest = 0;
    std::int64_t m_highestAtMs = 0;
    std::int64_t m_numberPeriodNs; // between numbers: the header's period, or a stream's exact one
    bool m_periodFromBlock = false;
    std::int64_t m_longestOutageMs = 0;
    std::uint64_t m_gaps = 0; // numbers skipped, and not arrived since
    // The last HistorySize numbers that were new, written round once full. It grows with
    // the numbers, so that a source heard once, as a forged one is, costs little.
    std::vector<std::uint32_t> m_history;
    std::size_t m_historyNext = 0;
    // Last, apart from what each probe touches.
    Loss m_lastLoss;
};
