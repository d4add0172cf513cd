#include "core/RecentMarks.h"

#include "core/ProbePacket.h"

#include <algorithm>

namespace {

// A slot holds one of four marks in two bits; None is never stored, only told for numbers
// before the first.
constexpr RecentMarks::Mark Stored[] = { RecentMarks::Mark::Missing, RecentMarks::Mark::Received,
    RecentMarks::Mark::Late, RecentMarks::Mark::Duplicate };

unsigned codeOf(RecentMarks::Mark mark)
{
    return unsigned(std::find(std::begin(Stored), std::end(Stored), mark) - std::begin(Stored));
}

} // namespace

RecentMarks::RecentMarks(std::uint32_t first)
    : m_first(first)
    , m_highest(first)
{
}

void RecentMarks::received(std::uint32_t sequence, bool late)
{
    if (serialBefore(m_highest, sequence)) {
        // The numbers skipped are missing until they come.
        if (sequence - m_highest >= Slots)
            m_low = m_high = 0;
        else
            for (std::uint32_t skipped = m_highest + 1; skipped != sequence; ++skipped)
                set(skipped, Mark::Missing);
        m_highest = sequence;
        m_overdue = 0;
    }
    set(sequence, late ? Mark::Late : Mark::Received);
}

void RecentMarks::repeated(std::uint32_t sequence) { set(sequence, Mark::Duplicate); }

void RecentMarks::setOverdue(std::uint32_t overdue)
{
    m_overdue = std::min<std::uint32_t>(overdue, Size);
}

RecentMarks::Mark RecentMarks::at(int place) const
{
    const std::uint32_t sequence = m_highest + m_overdue - std::uint32_t(Size - 1 - place);
    if (serialBefore(sequence, m_first))
        return Mark::None;
    if (serialBefore(m_highest, sequence))
        return Mark::Missing;
    return slot(sequence);
}

RecentMarks::Counts RecentMarks::counts() const
{
    Counts counts;
    for (int place = 0; place < Size; ++place) {
        switch (at(place)) {
        case Mark::None:
            continue;
        case Mark::Received:
            ++counts.received;
            break;
        case Mark::Missing:
            ++counts.missing;
            break;
        case Mark::Late:
            ++counts.late;
            break;
        case Mark::Duplicate:
            ++counts.duplicates;
            break;
        }
        ++counts.expected;
    }
    return counts;
}

// Numbers too old for a slot, and those before the first, are not kept.
void RecentMarks::set(std::uint32_t sequence, Mark mark)
{
    if (m_highest - sequence >= std::uint32_t(Slots) || serialBefore(sequence, m_first))
        return;
    const std::uint64_t bit = std::uint64_t(1) << (sequence % Slots);
    const unsigned code = codeOf(mark);
    m_low = (code & 1) ? m_low | bit : m_low & ~bit;
    m_high = (code & 2) ? m_high | bit : m_high & ~bit;
}

RecentMarks::Mark RecentMarks::slot(std::uint32_t sequence) const
{
    const unsigned place = sequence % Slots;
    return Stored[((m_low >> place) & 1) | (((m_high >> place) & 1) << 1)];
}
