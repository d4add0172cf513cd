#include "headless/ChangedRows.h"

#include "core/SourceTable.h"

#include <utility>

void ChangedRows::mark(std::size_t index)
{
    if (index >= m_rows.size())
        m_rows.resize(index + 1);
    if (!std::exchange(m_rows[index].marked, true))
        m_marked.push_back(index);
}

std::vector<std::size_t> ChangedRows::takeDue(const SourceTable& sources, std::int64_t nowMs)
{
    std::vector<std::size_t> due;
    std::size_t kept = 0;
    for (std::size_t index : m_marked) {
        Row& row = m_rows[index];
        const bool lost = index < sources.size() && sources.at(index).lost;
        if (lost && row.printedLost && nowMs - row.printedAtMs < LostRowEveryMs) {
            m_marked[kept++] = index;
            continue;
        }
        row = { false, lost, nowMs };
        if (index < sources.size())
            due.push_back(index);
    }
    m_marked.resize(kept);
    return due;
}
