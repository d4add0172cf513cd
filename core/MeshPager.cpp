#include "core/MeshPager.h"

#include <algorithm>

std::vector<HeardEntry> MeshPager::nextPage(const std::vector<HeardEntry>& view, std::size_t fit)
{
    std::vector<HeardEntry> page;
    const std::size_t size = view.size();
    if (size == 0 || fit == 0)
        return page;
    std::vector<bool> taken(size, false);
    const auto take = [&](std::size_t at) {
        taken[at] = true;
        page.push_back(view[at]);
        m_told[view[at].id] = view[at].state;
    };
    const std::size_t forChanges = fit - fit / 2;
    for (std::size_t i = 0; i < size && page.size() < forChanges; ++i) {
        const std::size_t at = (m_turn + i) % size;
        const auto told = m_told.find(view[at].id);
        if (told == m_told.end() || told->second != view[at].state)
            take(at);
    }
    std::size_t at = m_turn % size;
    for (std::size_t walked = 0; walked < size && page.size() < fit; ++walked) {
        if (!taken[at])
            take(at);
        at = (at + 1) % size;
    }
    m_turn = at;
    // Members no longer in the view are forgotten, so that the map stays as small as it.
    if (m_told.size() > 2 * size) {
        std::unordered_map<std::uint64_t, PairState> kept;
        for (const HeardEntry& entry : view) {
            if (const auto told = m_told.find(entry.id); told != m_told.end())
                kept.insert(*told);
        }
        m_told.swap(kept);
    }
    return page;
}

void MeshPager::clear()
{
    m_told.clear();
    m_turn = 0;
}
