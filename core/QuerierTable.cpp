#include "core/QuerierTable.h"

namespace {

// Lower wins, but the unspecified address only where nothing else is heard.
bool takesOver(const QuerierAddress& from, const QuerierAddress& current)
{
    if (from.isUnspecified() || current.isUnspecified())
        return !from.isUnspecified() || current.isUnspecified();
    return from.bytes <= current.bytes;
}

} // namespace

void QuerierTable::heard(int interfaceIndex, const QuerierAddress& from,
    const MembershipQuery& query, std::int64_t nowMs, std::time_t at)
{
    const Link link { interfaceIndex, query.ipv6 };
    ++m_queries[link];
    if (!query.general)
        return;
    const bool known = m_queriers.count(link) > 0;
    Querier& current = m_queriers[link];
    if (known && isPresent(interfaceIndex, query.ipv6, nowMs) && !takesOver(from, current.address))
        return;
    current = { from, query, nowMs, at };
}

const QuerierTable::Querier* QuerierTable::querier(int interfaceIndex, bool ipv6) const
{
    const auto found = m_queriers.find({ interfaceIndex, ipv6 });
    return found == m_queriers.end() ? nullptr : &found->second;
}

bool QuerierTable::isPresent(int interfaceIndex, bool ipv6, std::int64_t nowMs) const
{
    const Querier* heard = querier(interfaceIndex, ipv6);
    return heard && nowMs - heard->lastQueryMs < std::int64_t(heard->query.otherQuerierPresentMs());
}

bool QuerierTable::isGone(
    int interfaceIndex, bool ipv6, std::int64_t watchedSinceMs, std::int64_t nowMs) const
{
    if (isPresent(interfaceIndex, ipv6, nowMs))
        return false;
    return querier(interfaceIndex, ipv6)
        || nowMs - watchedSinceMs >= std::int64_t(MembershipQuery().otherQuerierPresentMs());
}

bool QuerierTable::isQueryOverdue(
    int interfaceIndex, bool ipv6, std::int64_t watchedSinceMs, std::int64_t nowMs) const
{
    const Querier* heard = querier(interfaceIndex, ipv6);
    const std::int64_t lastMs = heard ? heard->lastQueryMs : watchedSinceMs;
    const std::uint32_t interval
        = heard ? heard->query.intervalSeconds : MembershipQuery::DefaultIntervalSeconds;
    return nowMs - lastMs > std::int64_t(interval) * 1000;
}

std::uint64_t QuerierTable::queries(int interfaceIndex, bool ipv6) const
{
    const auto found = m_queries.find({ interfaceIndex, ipv6 });
    return found == m_queries.end() ? 0 : found->second;
}
