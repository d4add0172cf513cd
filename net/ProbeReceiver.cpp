#include "net/ProbeReceiver.h"

#include "net/HostChecks.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <QNetworkInterface>

#include <algorithm>
#include <cerrno>
#include <ctime>

ProbeReceiver::ProbeReceiver(HostContext& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{
    connect(&m_socket, &ReceiveSocket::datagramReceived, this, &ProbeReceiver::countDatagram);
    connect(&m_socket, &ReceiveSocket::emptyDatagramReceived, this,
        &ProbeReceiver::emptyDatagramReceived);
    connect(&m_socket, &ReceiveSocket::receiveFailed, this, &ProbeReceiver::receiveFailed);
    connect(&m_socket, &ReceiveSocket::joinRefused, this, &ProbeReceiver::refuseJoin);
    // A membership outlives no interface: when the one joined on is made anew, the receiver
    // joins again by itself.
    connect(&host.interfaces(), &InterfaceWatcher::changed, this, &ProbeReceiver::rejoinIfMoved);
    connect(
        &host.interfaces(), &InterfaceWatcher::changed, this, &ProbeReceiver::readLocalAddresses);
    readLocalAddresses();
}

void ProbeReceiver::readLocalAddresses()
{
    m_localAddresses.clear();
    for (const QHostAddress& local : QNetworkInterface::allAddresses())
        m_localAddresses.push_back(local.toString().toStdString());
}

bool ProbeReceiver::isLocalAddress(const std::string& address) const
{
    return std::find(m_localAddresses.begin(), m_localAddresses.end(), address)
        != m_localAddresses.end();
}

void ProbeReceiver::rejoinIfMoved()
{
    if (!m_member || !m_socket.isOpen())
        return;
    // Told in the log only: what the network does is no answer to a press of a button.
    switch (m_socket.rejoinIfMoved()) {
    case ReceiveSocket::Rejoin::Joined:
        m_waiting = false;
        emit eventOccurred(Event::withDetail(Event::Rejoined, name(),
            tr("Joined again on %1, which was made anew or changed its address")
                .arg(m_socket.joinedInterface())));
        break;
    case ReceiveSocket::Rejoin::Refused:
        // An interface back by name before the system can join on it is not yet back.
        if (m_socket.error() != ENODEV) {
            m_waiting = false;
            tellJoinRefused(m_socket.error());
            break;
        }
        [[fallthrough]];
    case ReceiveSocket::Rejoin::Gone:
        if (!std::exchange(m_waiting, true))
            emit eventOccurred(Event::withDetail(Event::Waiting, name(),
                tr("Waiting for %1 to come back, to join %2 again")
                    .arg(m_socket.joinedInterface(), m_settings.where.group.toString())));
        break;
    case ReceiveSocket::Rejoin::NotNeeded:
        break;
    }
}

bool ProbeReceiver::start(const ReceiveSettings& settings)
{
    m_settings = settings;
    m_sources.setRules(settings.rules);
    m_sources.setCapacity(settings.maxSources);
    m_hostProblems.clear();
    if (!m_socket.bind(settings.where, settings.interfaceIndex, settings.join))
        return false;
    // A refused join has been told already; a later leave would be refused as well.
    m_member = settings.join;
    m_waiting = false;
    m_toldQuerier.reset();
    m_toldQuerierGone = false;
    m_toldLost.clear();
    const bool ipv6 = settings.where.group.protocol() == QAbstractSocket::IPv6Protocol;
    if (m_member && !m_host.querierWatch().canSee(ipv6)
        && m_host.firstTime(HostContext::Notice::QueriersUnseen))
        emit eventOccurred(Event::withDetail(Event::Warning, name(), querierLine()));
    const QStringList problems
        = HostChecks::atStart(settings.interfaceIndex, settings.where.group, true);
    for (const QString& problem : problems + m_host.containerNoticeOnce())
        emit eventOccurred(Event::withDetail(Event::Warning, name(), problem));
    const Endpoint& where = settings.where;
    if (!where.source.isNull() && !isSourceSpecific(where.group))
        emit eventOccurred(Event::withDetail(Event::Warning, name(),
            tr("Source-specific groups are 232.0.0.0/8 and ff3x::/32; routers may not keep "
               "to the source for %1.")
                .arg(where.group.toString())));
    // After a refused join, its hint follows the host's problems.
    m_hostProblems = problems + m_hostProblems;
    return true;
}

void ProbeReceiver::refuseJoin(int error)
{
    tellJoinRefused(error);
    emit joinRefused(error);
}

// Every refusal told is counted, so that the log and the summary agree.
void ProbeReceiver::tellJoinRefused(int error)
{
    ++m_joinsRefused;
    const QString hint = HostChecks::afterJoinFailed(error, m_settings.where.group);
    if (!hint.isEmpty() && !m_hostProblems.contains(hint))
        m_hostProblems << hint;
    emit eventOccurred(
        Event::withDetail(Event::JoinRefused, name(), withHint(systemErrorText(error), hint)));
}

bool ProbeReceiver::lacksMembership() const
{
    return isStarted() ? m_member && !m_socket.isMember() : m_lackedMembership;
}

void ProbeReceiver::stop()
{
    if (!m_socket.isOpen())
        return;
    m_socket.readWaiting();
    // What is overdue at this moment, not at the last second's tick.
    checkOverdue(Tick::nowMs());
    m_lackedMembership = lacksMembership();
    if (m_member && m_socket.isOpen())
        m_socket.leaveGroup();
    m_member = false;
    m_socket.close();
}

bool ProbeReceiver::setMember(bool member)
{
    if (!m_socket.isOpen() || !(member ? m_socket.joinGroup() : m_socket.leaveGroup()))
        return false;
    m_member = member;
    emit eventOccurred(Event::withDetail(
        member ? Event::Join : Event::Leave, name(), member ? tr("IGMP Join") : tr("IGMP Leave")));
    return true;
}

void ProbeReceiver::tick(int phase)
{
    // A loss is told at the first tick after the moment the rules give; until a number falls
    // due, the check costs a comparison.
    const std::int64_t now = Tick::nowMs();
    checkOverdue(now);
    if (phase != Tick::secondPhase)
        return;
    if (m_waiting)
        rejoinIfMoved(); // the route the join needs may come after the interface
    watchQuerier();
    if (m_sources.refusalsDue(now))
        emit eventOccurred(Event::sourcesRefused(name(), m_sources));
}

void ProbeReceiver::checkOverdue(std::int64_t nowMs)
{
    m_sources.checkOverdue(nowMs, [this](std::size_t index, bool becameLost) {
        emit sourceChanged(index);
        if (becameLost)
            tellLost(m_sources.at(index));
    });
}

void ProbeReceiver::tellLost(const Source& source)
{
    const Event event = Event::lostSource(name(), source, querierNote());
    constexpr std::size_t MostRemembered = 100; // a flood of forged sources lost is no list
    if (m_toldLost.size() == MostRemembered)
        m_toldLost.erase(m_toldLost.begin());
    m_toldLost.push_back({ event.sourceText(), source.lastLoss().atMs });
    emit eventOccurred(event);
}

void ProbeReceiver::resetCounts()
{
    m_sources.clear();
    emit cleared();
    emit eventOccurred(Event::withDetail(Event::Reset, name(), tr("counts reset")));
}

void ProbeReceiver::countDatagram(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, quint16 port, int ttl, qint64 arrivalNs)
{
    ProbeTiming timing;
    timing.arrivalNs = arrivalNs;
    timing.clocksAgree = m_settings.syncedClocks || isLocalAddress(address);
    const auto counted = m_sources.countProbe(
        bytes, length, address, port, std::time(nullptr), Tick::nowMs(), ttl, timing);
    if (!counted)
        return;
    emit probeCounted(counted.index, counted.change());
    if (counted.block.outcome == ProbeBlock::Reading::Trusted)
        emit blockCounted(counted.index, counted.block, counted.sequence);
    const Source& source = m_sources.at(counted.index);
    if (counted.replaced)
        emit eventOccurred(Event::gaveWay(name(), m_sources.gaveWay()));
    if (counted.added)
        emit eventOccurred(Event::newSource(name(), source));
    // Every recovery follows its loss, even one this very arrival found.
    if (counted.arrival.lost)
        tellLost(source);
    if (counted.arrival.recovered)
        emit eventOccurred(Event::recoveredSource(name(), source, counted.arrival));
    if (counted.pathChangedFrom >= 0)
        emit eventOccurred(Event::pathChanged(name(), source, counted.pathChangedFrom));
    if (counted.arrival.resumed)
        emit eventOccurred(Event::resumedSource(name(), source));
    if (counted.arrival.stopped)
        emit eventOccurred(Event::stoppedSource(name(), source));
    if (counted.arrival.clockStepped)
        emit eventOccurred(Event::clockStepped(name(), source));
}

namespace {

QString protocolName(bool ipv6, int version)
{
    return (ipv6 ? QStringLiteral("MLDv%1") : QStringLiteral("IGMPv%1")).arg(version);
}

} // namespace

// Its words change only when what it says does: a line that counted the seconds would lay
// out every receiver again every second.
QString ProbeReceiver::querierLine() const
{
    const bool ipv6 = m_socket.isIPv6();
    const QString protocol = QLatin1String(ipv6 ? "MLD" : "IGMP");
    const QuerierWatch& watch = m_host.querierWatch();
    if (!watch.canSee(ipv6))
        return tr("%1 queriers cannot be seen: this needs CAP_NET_RAW, which the packaged "
                  "service has (or: sudo setcap cap_net_raw+ep on the program)")
            .arg(protocol);
    const int interfaceIndex = m_socket.joinedInterfaceIndex();
    if (!m_member || !interfaceIndex)
        return {};
    const auto* querier = watch.queriers().querier(interfaceIndex, ipv6);
    const QString at = querier
        ? QDateTime::fromSecsSinceEpoch(querier->lastQueryAt).toString(QStringLiteral("HH:mm:ss"))
        : QString();
    if (!watch.queriers().isPresent(interfaceIndex, ipv6, Tick::nowMs()))
        return (querier ? tr("No %1 querier heard on %2 since %3: a switch that snoops will stop "
                             "forwarding this group")
                              .arg(protocol, m_socket.joinedInterface(), at)
                        : tr("No %1 querier heard on %2 since the join: a switch that snoops "
                             "will stop forwarding this group %3 s after it")
                              .arg(protocol, m_socket.joinedInterface())
                              .arg(MembershipQuery().otherQuerierPresentMs() / 1000));
    return tr("%1 querier on %2: %3, queries every %4 s, the last at %5")
        .arg(protocolName(ipv6, querier->query.version), m_socket.joinedInterface(),
            QuerierWatch::name(querier->address))
        .arg(querier->query.intervalSeconds)
        .arg(at);
}

QString ProbeReceiver::querierNote() const
{
    const bool ipv6 = m_socket.isIPv6();
    const QuerierWatch& watch = m_host.querierWatch();
    if (!watch.canSee(ipv6))
        return tr("queriers cannot be seen here");
    const int interfaceIndex = m_socket.joinedInterfaceIndex();
    if (!m_member || !interfaceIndex)
        return {};
    const auto* querier = watch.queriers().querier(interfaceIndex, ipv6);
    const qint64 now = Tick::nowMs();
    const qint64 joinedAt = m_socket.joinedAtMs();
    QString note = !querier || querier->lastQueryMs < joinedAt
        ? tr("no query heard on %1 since the join").arg(m_socket.joinedInterface())
        : tr("the last query on %1 came %2 s ago")
              .arg(m_socket.joinedInterface())
              .arg((now - querier->lastQueryMs) / 1000);
    if (watch.queriers().isQueryOverdue(interfaceIndex, ipv6, joinedAt, now))
        note += tr(", longer than the %1 s between queries: a missing querier is the likely cause")
                    .arg(querier ? querier->query.intervalSeconds
                                 : MembershipQuery::DefaultIntervalSeconds);
    return note;
}

QStringList ProbeReceiver::lostSinceLastQuery() const
{
    const auto* querier = m_host.querierWatch().queriers().querier(
        m_socket.joinedInterfaceIndex(), m_socket.isIPv6());
    const qint64 since = querier ? querier->lastQueryMs : m_socket.joinedAtMs();
    QStringList sources;
    for (const ToldLost& lost : m_toldLost) {
        if (lost.atMs >= since)
            sources << lost.source;
    }
    return sources;
}

// A querier first heard, or another taking over, and none heard for as long as the
// protocols wait before they take the querier for gone: told once each. Gone names the
// sources lost since its last query, the effects of its going.
void ProbeReceiver::watchQuerier()
{
    const bool ipv6 = m_socket.isIPv6();
    const int interfaceIndex = m_socket.joinedInterfaceIndex();
    if (!m_member || !interfaceIndex || !m_socket.isOpen())
        return;
    const QuerierTable& queriers = m_host.querierWatch().queriers();
    const auto* querier = queriers.querier(interfaceIndex, ipv6);
    const qint64 now = Tick::nowMs();
    if (queriers.isPresent(interfaceIndex, ipv6, now)) {
        m_toldLost.erase(
            std::remove_if(m_toldLost.begin(), m_toldLost.end(),
                [querier](const ToldLost& lost) { return lost.atMs < querier->lastQueryMs; }),
            m_toldLost.end());
        if (m_toldQuerier == querier->address)
            return;
        m_toldQuerier = querier->address;
        m_toldQuerierGone = false;
        Event event = Event::withDetail(Event::Querier, name(),
            tr("%1 querier on %2: %3, queries every %4 s")
                .arg(protocolName(ipv6, querier->query.version), m_socket.joinedInterface(),
                    QuerierWatch::name(querier->address))
                .arg(querier->query.intervalSeconds));
        event.source = QuerierWatch::address(querier->address).toString();
        event.querierVersion = querier->query.version;
        event.queryInterval = querier->query.intervalSeconds;
        emit eventOccurred(event);
    } else if (!m_toldQuerierGone
        && queriers.isGone(interfaceIndex, ipv6, m_socket.joinedAtMs(), now)) {
        m_toldQuerier.reset();
        m_toldQuerierGone = true;
        Event event = Event::withDetail(Event::QuerierGone, name(), querierLine());
        event.sources = lostSinceLastQuery();
        if (!event.sources.isEmpty())
            event.detail += tr("; lost since its last query: %1")
                                .arg(event.sources.join(QLatin1String(", ")));
        m_toldLost.clear();
        emit eventOccurred(event);
    }
}

ProbeReceiver::QuerierState ProbeReceiver::querierState() const
{
    const bool ipv6 = m_socket.isIPv6();
    const QuerierWatch& watch = m_host.querierWatch();
    const int interfaceIndex = m_socket.joinedInterfaceIndex();
    QuerierState state;
    state.visible = watch.canSee(ipv6);
    if (!m_member || !interfaceIndex)
        return state;
    state.querier = watch.queriers().querier(interfaceIndex, ipv6);
    state.gone = m_toldQuerierGone;
    state.interface = m_socket.joinedInterface();
    state.queries = watch.queriers().queries(interfaceIndex, ipv6);
    return state;
}
