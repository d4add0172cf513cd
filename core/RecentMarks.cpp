#include "core/RecentMarks.h"

#include "core/ProbePacket.h"

#include <algorithm>

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
    int byMark[int(Mark::None) + 1] = {};
    for (int place = 0; place < Size; ++place)
        ++byMark[int(at(place))];
    Counts counts;
    counts.expected = Size - byMark[int(Mark::None)];
    counts.received = byMark[int(Mark::Received)];
    counts.missing = byMark[int(Mark::Missing)];
    counts.late = byMark[int(Mark::Late)];
    counts.duplicates = byMark[int(Mark::Duplicate)];
    return counts;
}

// Numbers too old for a slot, and those before the first, are not kept.
void RecentMarks::set(std::uint32_t sequence, Mark mark)
{
    if (m_highest - sequence >= std::uint32_t(Slots) || serialBefore(sequence, m_first))
        return;
    const std::uint64_t bit = std::uint64_t(1) << (sequence % Slots);
    const auto code = unsigned(mark);
    m_low = (code & 1) ? m_low | bit : m_low & ~bit;
    m_high = (code & 2) ? m_high | bit : m_high & ~bit;
}

RecentMarks::Mark RecentMarks::slot(std::uint32_t sequence) const
{
    const unsigned place = sequence % Slots;
    return Mark(((m_low >> place) & 1) | (((m_high >> place) & 1) << 1));
}
