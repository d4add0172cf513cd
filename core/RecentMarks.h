#pragma once

#include <cstdint>

// What became of each of a source's last Size expected numbers: received in order, received
// after a higher one, received more than once, or missing. Two bits a number, kept as probes
// are counted, so that a picture of them costs no search of anything.
class RecentMarks {
public:
    static constexpr int Size = 60;

    // The first four are what a slot holds; None is told for numbers before the first.
    enum class Mark : std::uint8_t { Missing, Received, Late, Duplicate, None };

    struct Counts {
        int expected = 0; // marks that are not None
        int received = 0;
        int missing = 0;
        int late = 0;
        int duplicates = 0;
    };

    explicit RecentMarks(std::uint32_t first = 0);

    // A number not received before; late when a higher one came first.
    void received(std::uint32_t sequence, bool late);
    // A number received again.
    void repeated(std::uint32_t sequence);
    // How many numbers after the highest are overdue by now.
    void setOverdue(std::uint32_t overdue);

    // The mark of the place-th of the last Size expected numbers, the oldest first; None
    // for those before the first number heard.
    Mark at(int place) const;
    Counts counts() const;

private:
    static constexpr int Slots = 64; // a number's slot is the number modulo this

    void set(std::uint32_t sequence, Mark mark);
    Mark slot(std::uint32_t sequence) const;

    std::uint64_t m_low = 0; // the low bit of each slot's mark, Missing when both are 0
    std::uint64_t m_high = 0; // and its high bit
    std::uint32_t m_first;
    std::uint32_t m_highest;
    std::uint32_t m_overdue = 0;
};
