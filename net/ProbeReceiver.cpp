#include "net/ProbeReceiver.h"

#include "net/HostChecks.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <ctime>

ProbeReceiver::ProbeReceiver(QObject* parent)
    : QObject(parent)
{
    connect(&m_socket, &ReceiveSocket::datagramReceived, this, &ProbeReceiver::countDatagram);
    connect(&m_socket, &ReceiveSocket::emptyDatagramReceived, this,
        &ProbeReceiver::emptyDatagramReceived);
    connect(&m_socket, &ReceiveSocket::receiveFailed, this, &ProbeReceiver::receiveFailed);
    connect(&m_socket, &ReceiveSocket::joinRefused, this, &ProbeReceiver::refuseJoin);
    connect(&m_interfaces, &InterfaceWatcher::changed, this, &ProbeReceiver::rejoinIfMoved);
}

void ProbeReceiver::rejoinIfMoved()
{
    if (!m_member || !m_socket.isOpen())
        return;
    // Told in the log only: what the network does is no answer to a press of a button.
    switch (m_socket.rejoinIfMoved()) {
    case ReceiveSocket::Rejoin::Joined:
        emit eventOccurred(Event::about(Event::Rejoined, name(),
            tr("Joined again on %1, which was made anew or changed its address")
                .arg(m_socket.joinedInterface())));
        break;
    case ReceiveSocket::Rejoin::Refused:
        emit eventOccurred(
            Event::about(Event::JoinRefused, name(), systemErrorText(m_socket.error())));
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
    const QStringList problems
        = HostChecks::atStart(settings.interfaceIndex, settings.where.group, true);
    for (const QString& problem : problems)
        emit eventOccurred(Event::about(Event::Warning, name(), problem));
    // After a refused join, its hint follows the host's problems.
    m_hostProblems = problems + m_hostProblems;
    return true;
}

void ProbeReceiver::refuseJoin(int error)
{
    ++m_joinsRefused;
    const QString hint = HostChecks::afterJoinFailed(error);
    if (!hint.isEmpty())
        m_hostProblems << hint;
    emit eventOccurred(Event::about(Event::JoinRefused, name(),
        hint.isEmpty() ? systemErrorText(error)
                       : systemErrorText(error) + QLatin1Char(' ') + hint));
    emit joinRefused(error);
}

void ProbeReceiver::stop()
{
    if (!m_socket.isOpen())
        return;
    m_socket.readWaiting();
    // What is overdue at this moment, not at the last second's tick.
    checkOverdue(Tick::nowMs());
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
    emit eventOccurred(Event::about(
        member ? Event::Join : Event::Leave, name(), member ? tr("IGMP Join") : tr("IGMP Leave")));
    return true;
}

void ProbeReceiver::tick(int phase)
{
    if (phase != Tick::secondPhase)
        return;
    const std::int64_t now = Tick::nowMs();
    checkOverdue(now);
    if (m_sources.refusalsDue(now))
        emit eventOccurred(Event::sourcesRefused(name(), m_sources));
}

void ProbeReceiver::checkOverdue(std::int64_t nowMs)
{
    m_sources.checkOverdue(nowMs, [this](std::size_t index, bool becameLost) {
        emit sourceChanged(index);
        if (becameLost)
            emit eventOccurred(Event::lostSource(
                name(), m_sources.at(index), m_socket.joinedForMs(), m_sources.allLost()));
    });
}

void ProbeReceiver::resetCounts()
{
    m_sources.clear();
    emit cleared();
    emit eventOccurred(Event::about(Event::Reset, name(), tr("counts reset")));
}

void ProbeReceiver::countDatagram(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, quint16 port, int ttl)
{
    const auto counted = m_sources.countProbe(
        bytes, length, address, port, std::time(nullptr), Tick::nowMs(), ttl);
    if (!counted)
        return;
    emit probeCounted(counted.index, counted.change());
    const Source& source = m_sources.at(counted.index);
    if (counted.replaced)
        emit eventOccurred(Event::gaveWay(name(), m_sources.gaveWay()));
    if (counted.added)
        emit eventOccurred(Event::newSource(name(), source));
    if (counted.arrival.recovered)
        emit eventOccurred(Event::recoveredSource(name(), source, counted.arrival));
    if (counted.pathChangedFrom >= 0)
        emit eventOccurred(Event::pathChanged(name(), source, counted.pathChangedFrom));
    if (counted.arrival.resumed)
        emit eventOccurred(Event::resumedSource(name(), source));
    if (counted.arrival.stopped)
        emit eventOccurred(Event::stoppedSource(name(), source));
}
