#include "core/Source.h"

#include <algorithm>
#include <limits>

Source::Source(const std::string& from, std::uint16_t fromPort, std::time_t time,
    std::uint32_t advertisedPeriod, std::uint32_t sequence)
    : address(from)
    , port(fromPort)
    , period(advertisedPeriod)
{
    count(time, sequence);
}

// Unused slots hold 0 and match like any other, so a first sequence 0 is a duplicate.
void Source::count(std::time_t time, std::uint32_t sequence)
{
    lastReceived = time;
    if (std::find(history.begin(), history.end(), sequence) != history.end()) {
        if (duplicates != std::numeric_limits<std::uint32_t>::max())
            ++duplicates;
        return;
    }
    lastSequence = sequence;
    history[historyNext] = sequence;
    historyNext = (historyNext + 1) % HistorySize;
}
