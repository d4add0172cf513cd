#include "core/ArrivalTiming.h"

#include <algorithm>
#include <cstdlib>

bool ArrivalTiming::arrived(std::int64_t arrivalNs, std::int64_t sendNs, std::uint64_t missing,
    std::int64_t periodNs, bool clocksAgree)
{
    // The rate: the arrivals of the last second, in slots of a tenth; those the silence
    // since the last arrival passed over are emptied.
    const std::int64_t slot = arrivalNs / SlotNs;
    for (std::int64_t passed = m_slot + 1; passed <= slot && passed <= m_slot + RateSlots; ++passed)
        m_slots[std::size_t(passed % RateSlots)] = 0;
    m_slot = std::max(m_slot, slot);
    ++m_slots[std::size_t(slot % RateSlots)];

    if (missing && m_lastArrivalNs) {
        const std::int64_t outageNs = arrivalNs - m_lastArrivalNs - periodNs;
        m_longestOutageNs = std::max(m_longestOutageNs, outageNs);
        for (std::size_t bucket = OutageFloorsMs.size(); bucket-- > 0;) {
            if (outageNs >= OutageFloorsMs[bucket] * 1'000'000) {
                ++m_outages[bucket];
                m_outageSumNs += outageNs;
                break;
            }
        }
    }
    m_lastArrivalNs = arrivalNs;

    bool stepped = false;
    if (sendNs) {
        // RFC 3550, 6.4.1: J += (|D| - J) / 16, D the change in transit time.
        const std::int64_t transitNs = arrivalNs - sendNs;
        const std::int64_t changeNs = transitNs - m_lastTransitNs;
        stepped = m_haveTransit && std::llabs(changeNs) > ClockStepNs;
        if (stepped)
            ++m_clockSteps;
        else if (m_haveTransit) {
            m_jitterNs += (double(std::llabs(changeNs)) - m_jitterNs) / 16;
            m_haveJitter = true;
        }
        m_lastTransitNs = transitNs;
        m_haveTransit = true;
        if (clocksAgree) {
            if (m_delaysNs.empty())
                m_minDelayNs = m_maxDelayNs = transitNs;
            m_minDelayNs = std::min(m_minDelayNs, transitNs);
            m_maxDelayNs = std::max(m_maxDelayNs, transitNs);
            if (m_delaysNs.size() < DelaysKept)
                m_delaysNs.push_back(transitNs);
            else
                m_delaysNs[m_nextDelay] = transitNs;
            m_nextDelay = (m_nextDelay + 1) % DelaysKept;
        }
    }
    return stepped;
}

std::optional<double> ArrivalTiming::jitterMs() const
{
    return m_haveJitter ? std::optional<double>(m_jitterNs / 1e6) : std::nullopt;
}

double ArrivalTiming::rate(std::int64_t nowNs) const
{
    // The ten slots before the one now filling; those the last arrival had not reached yet are
    // empty, and so is all of them once it is a second old.
    const std::int64_t now = nowNs / SlotNs;
    std::uint64_t count = 0;
    for (std::int64_t slot = now - (RateSlots - 1); slot < now && slot <= m_slot; ++slot) {
        if (slot > m_slot - RateSlots)
            count += m_slots[std::size_t(slot % RateSlots)];
    }
    return double(count);
}

std::optional<ArrivalTiming::Delay> ArrivalTiming::delay() const
{
    if (m_delaysNs.empty())
        return std::nullopt;
    std::vector<std::int64_t> sorted = m_delaysNs;
    const auto middle = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return Delay { double(m_minDelayNs) / 1e6, double(*middle) / 1e6, double(m_maxDelayNs) / 1e6 };
}
