#include "core/MeshMatrix.h"

#include <cstdio>

double MeshCell::recentLossPercent() const
{
    const int expected = recentReceived + recentMissing;
    return expected ? 100.0 * recentMissing / expected : 0.0;
}

MeshMatrix::MeshMatrix(std::size_t maxMembers)
    : m_maxMembers(maxMembers)
{
}

std::size_t MeshMatrix::member(std::uint64_t id)
{
    if (const std::size_t known = find(id); known != NotCounted)
        return known;
    if (m_members.size() >= m_maxMembers) {
        ++m_refused;
        return NotCounted;
    }
    ++m_generation;
    m_numbers.emplace(id, m_members.size());
    m_members.push_back({});
    m_members.back().id = id;
    m_rows.emplace_back();
    return m_members.size() - 1;
}

std::size_t MeshMatrix::find(std::uint64_t id) const
{
    const auto found = m_numbers.find(id);
    return found == m_numbers.end() ? NotCounted : found->second;
}

bool MeshMatrix::heard(std::size_t member, const MemberReport& report, const std::string& address,
    std::uint16_t port, std::int64_t periodMs, std::int64_t nowMs)
{
    KnownMember& known = m_members[member];
    const MemberReport& before = known.summary;
    const bool changed = known.firstHeardMs < 0 || before.ok != report.ok
        || before.lost != report.lost || before.stopped != report.stopped
        || before.querier != report.querier || before.queriersUnseen != report.queriersUnseen;
    m_generation += known.name != report.name;
    known.name = report.name;
    known.address = address;
    known.port = port;
    known.periodMs = periodMs;
    // Its sums, not its page: a copy of the page would cost an allocation a probe.
    MemberReport& summary = known.summary;
    summary.id = report.id;
    summary.ttl = report.ttl;
    summary.querier = report.querier;
    summary.queriersUnseen = report.queriersUnseen;
    summary.ok = report.ok;
    summary.lost = report.lost;
    summary.stopped = report.stopped;
    if (known.firstHeardMs < 0)
        known.firstHeardMs = nowMs;
    known.lastHeardMs = nowMs;
    known.stoppedOnPurpose = false;
    return changed;
}

void MeshMatrix::applyPage(std::size_t row, const std::vector<HeardEntry>& page, std::int64_t nowMs)
{
    for (const HeardEntry& entry : page) {
        const std::size_t column = member(entry.id);
        if (column == NotCounted || column == row)
            continue;
        setCell(row, column,
            { entry.state, entry.recentReceived, entry.recentMissing, entry.receivedTtl,
                entry.totalReceived, entry.totalMissing, nowMs });
    }
}

void MeshMatrix::setCell(std::size_t row, std::size_t column, const MeshCell& cell)
{
    std::vector<MeshCell>& cells = m_rows[row];
    if (cells.size() <= column)
        cells.resize(column + 1);
    m_generation
        += cells[column].state != cell.state || cells[column].receivedTtl != cell.receivedTtl;
    cells[column] = cell;
}

const MeshCell& MeshMatrix::cell(std::size_t row, std::size_t column) const
{
    static const MeshCell never;
    const std::vector<MeshCell>& cells = m_rows[row];
    return column < cells.size() ? cells[column] : never;
}

int MeshMatrix::hops(std::size_t row, std::size_t column) const
{
    const MeshCell& told = cell(row, column);
    const int sent = m_members[column].summary.ttl;
    if (!told.receivedTtl || !sent || told.receivedTtl > sent)
        return -1;
    return sent - told.receivedTtl;
}

std::string MeshMatrix::nameOf(std::size_t member) const
{
    const KnownMember& known = m_members[member];
    if (!known.name.empty())
        return known.name;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(known.id));
    return hex;
}

bool MeshMatrix::isStale(std::size_t member, std::int64_t nowMs) const
{
    const KnownMember& known = m_members[member];
    return !known.self
        && (known.lastHeardMs < 0 || nowMs - known.lastHeardMs > StalePeriods * known.periodMs);
}

bool MeshMatrix::isWarmingUp(std::size_t member, std::int64_t nowMs) const
{
    const KnownMember& known = m_members[member];
    return known.firstHeardMs < 0 || nowMs - known.firstHeardMs < StalePeriods * known.periodMs;
}

std::size_t MeshMatrix::taking() const
{
    std::size_t count = 0;
    for (const KnownMember& known : m_members)
        count += known.firstHeardMs >= 0;
    return count;
}

MeshMatrix::Triage MeshMatrix::triage(std::int64_t nowMs) const
{
    Triage triage;
    std::vector<bool> heardByAnyone(m_members.size(), false);
    for (std::size_t row = 0; row < m_members.size(); ++row) {
        if (isStale(row, nowMs))
            continue;
        const std::vector<MeshCell>& cells = m_rows[row];
        for (std::size_t column = 0; column < cells.size(); ++column)
            heardByAnyone[column] = heardByAnyone[column] || cells[column].state == PairState::Ok;
    }
    for (std::size_t member = 0; member < m_members.size(); ++member) {
        const KnownMember& known = m_members[member];
        if (isWarmingUp(member, nowMs)) {
            if (known.firstHeardMs >= 0)
                triage.warmingUp.push_back(member);
            continue;
        }
        if (isStale(member, nowMs) && known.stoppedOnPurpose)
            continue;
        const MemberReport& summary = known.summary;
        if (summary.hearsNoOne())
            triage.hearNoOne.push_back(member);
        else if (summary.lost > 0)
            triage.hearSome.push_back(member);
        if (!heardByAnyone[member])
            triage.heardByNoOne.push_back(member);
        if (!summary.hearsQuerier() && !summary.queriersUnseen)
            triage.noQuerier.push_back(member);
    }
    return triage;
}
