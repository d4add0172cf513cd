#pragma once

#include "core/MeshReport.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// Chooses which of a member's view go in its next probe, so that a view of any size fits
// probes of any size: entries whose state changed since they were last told first, the rest
// in turns. Half the page, rounded down, is kept for the turns, so that however much changes,
// every entry is told within ceil(view / (fit / 2)) probes; a change usually at the next.
class MeshPager {
public:
    // view: an entry for each member heard, each in the same place from one call to the next
    // as far as members stay; fit: how many entries a probe holds.
    std::vector<HeardEntry> nextPage(const std::vector<HeardEntry>& view, std::size_t fit);
    // Forgets what was told: the next pages tell every entry as changed.
    void clear();

private:
    std::unordered_map<std::uint64_t, PairState> m_told;
    std::size_t m_turn = 0; // where the turns go on in the view
};
