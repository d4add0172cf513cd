#include "headless/HeadlessRun.h"

#include "net/Event.h"
#include "net/HostChecks.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end.
int stopSignalPair[2] = { -1, -1 };

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(stopSignalPair[0], &byte, 1);
}

} // namespace

HeadlessRun::HeadlessRun(const Options& options, QTextStream& out, QTextStream& err)
    : m_options(options)
    , m_err(err)
    , m_printer(out, options.json)
{
    for (const Endpoint& where : options.receive) {
        m_receivers.push_back(std::make_unique<Receiver>());
        m_receivers.back()->where = where;
    }
    for (const Endpoint& where : options.transmit) {
        m_transmitters.push_back(std::make_unique<Transmitter>());
        m_transmitters.back()->where = where;
    }
    m_ticker.setTimerType(Qt::PreciseTimer);
    connect(&m_ticker, &QTimer::timeout, this, &HeadlessRun::tick);
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, &HeadlessRun::stop);
}

HeadlessRun::~HeadlessRun()
{
    if (m_stopSignal) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    }
}

bool HeadlessRun::start()
{
    // First, so that a stop asked for while the sockets open is a clean one.
    catchStopSignals();
    // Before any socket: a port taken is told before anything else is.
    if (!startMetrics())
        return false;
    for (auto& receiver : m_receivers) {
        if (!startReceiver(*receiver))
            return false;
    }
    for (auto& transmitter : m_transmitters) {
        if (!startTransmitter(*transmitter))
            return false;
    }
    m_running = true;
    m_ticker.start(Tick::interval);
    if (m_options.duration)
        m_duration.start(std::chrono::seconds(m_options.duration));
    return true;
}

void HeadlessRun::printFailure(const QString& what, const Endpoint& where, const UdpSocket& socket)
{
    const QString action
        = socket.failedOption().isEmpty() ? what : tr("cannot set %1").arg(socket.failedOption());
    m_err << tr("lumivox-tool: %1 for %2: %3")
                 .arg(action, where.toString(), systemErrorText(socket.error()))
          << Qt::endl;
}

bool HeadlessRun::startReceiver(Receiver& receiver)
{
    receiver.sources.setRules({ qint64(m_options.maxLatency) * 1000, m_options.lossThreshold });
    receiver.sources.setCapacity(m_options.maxSources);
    connect(&receiver.socket, &ReceiveSocket::datagramReceived, this,
        [this, &receiver](const std::uint8_t* bytes, std::size_t length, const std::string& address,
            quint16 port, int ttl) { countDatagram(receiver, bytes, length, address, port, ttl); });
    connect(&receiver.socket, &ReceiveSocket::joinRefused, this, [this, &receiver](int error) {
        printFailure(tr("cannot join %1").arg(receiver.where.group.toString()), receiver.where,
            receiver.socket);
        const QString hint = HostChecks::afterJoinFailed(error);
        m_printer.printEvent(Event::about(Event::JoinRefused, receiver.where.toString(),
            hint.isEmpty() ? systemErrorText(error)
                           : systemErrorText(error) + QLatin1Char(' ') + hint));
    });
    if (!receiver.socket.bind(receiver.where, m_options.interfaceIndex, m_options.join)) {
        printFailure(tr("cannot bind UDP port %1").arg(receiver.where.port), receiver.where,
            receiver.socket);
        return false;
    }
    // A refused join has been told already; a later leave would be refused as well.
    receiver.joined = m_options.join;
    if (!m_options.snmpTrap.isEmpty()) {
        receiver.traps = std::make_unique<TrapSender>();
        connect(
            receiver.traps.get(), &TrapSender::failed, this, [this, &receiver](const QString& why) {
                m_err << QStringLiteral("lumivox-tool: ") << why << Qt::endl;
                m_printer.printEvent(Event::about(Event::Warning, receiver.where.toString(), why));
            });
        receiver.traps->setDestination(m_options.snmpTrap, m_options.snmpCommunity);
    }
    for (const QString& problem :
        HostChecks::atStart(m_options.interfaceIndex, receiver.where.group, true))
        m_printer.printEvent(Event::about(Event::Warning, receiver.where.toString(), problem));
    return true;
}

bool HeadlessRun::startMetrics()
{
    if (!m_options.metrics)
        return true;
    m_metrics.setMaxSources(m_options.metricsMaxSources);
    if (m_metrics.listen(*m_options.metrics))
        return true;
    m_err << tr("lumivox-tool: cannot serve metrics on %1: %2")
                 .arg(m_options.metrics->toString(), m_metrics.errorString())
          << Qt::endl;
    return false;
}

void HeadlessRun::collectMetrics(MetricsText& text) const
{
    for (const auto& receiver : m_receivers)
        text.addReceiver(receiver->where.toString(), receiver->sources, receiver->socket.drops());
    for (const auto& transmitter : m_transmitters)
        text.addTransmitter(transmitter->where.toString(), transmitter->sender.sentCount(),
            transmitter->sender.failureCount());
}

bool HeadlessRun::startTransmitter(Transmitter& transmitter)
{
    ProbeSender& sender = transmitter.sender;
    const auto print = [this, &transmitter](quint32 sequence, quint32 size, const QString& error) {
        m_printer.printProbe(transmitter.where.toString(), transmitter.sender.sourcePort(),
            sequence, size, m_options.sending.ttl, error);
    };
    connect(&sender, &ProbeSender::probeSent, this,
        [this, print, &transmitter](quint32 sequence, quint32 size) {
            print(sequence, size, QString());
            showSending(transmitter, false, tr("Sending again"));
        });
    connect(&sender, &ProbeSender::sendFailed, this,
        [this, print, &transmitter](quint32 sequence, quint32 size, int error) {
            print(sequence, size, systemErrorText(error));
            const QString hint = HostChecks::afterSendFailed(error, transmitter.where.group);
            showSending(transmitter, true,
                tr("Send failed: %1").arg(systemErrorText(error))
                    + (hint.isEmpty() ? QString() : QLatin1Char(' ') + hint));
        });
    SendSettings settings = m_options.sending;
    settings.destination = transmitter.where;
    if (!sender.start(settings)) {
        printFailure(tr("cannot open a socket"), transmitter.where, sender.socket());
        return false;
    }
    for (const QString& problem :
        HostChecks::atStart(settings.interfaceIndex, settings.destination.group, false))
        m_printer.printEvent(
            Event::about(Event::Warning, transmitter.where.toString(), problem), true);
    return true;
}

// Sends are told as events when they start failing and when they work again, not each time.
void HeadlessRun::showSending(Transmitter& transmitter, bool failing, const QString& why)
{
    if (failing == transmitter.failing)
        return;
    transmitter.failing = failing;
    m_printer.printEvent(Event::about(failing ? Event::SendFailed : Event::SendOk,
                             transmitter.where.toString(), why),
        true);
}

void HeadlessRun::catchStopSignals()
{
    if (stopSignalPair[0] < 0
        && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopSignalPair) != 0)
        return;
    m_stopSignal = new QSocketNotifier(stopSignalPair[1], QSocketNotifier::Read, this);
    connect(m_stopSignal, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(stopSignalPair[1], &byte, 1);
        stop();
    });
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int HeadlessRun::exec()
{
    if (!start()) {
        stop();
        return 1;
    }
    QEventLoop loop;
    connect(this, &HeadlessRun::stopped, &loop, &QEventLoop::quit);
    loop.exec();
    return 0;
}

void HeadlessRun::stop()
{
    const bool wasRunning = m_running;
    m_running = false;
    m_ticker.stop();
    m_duration.stop();
    for (auto& receiver : m_receivers) {
        // A probe that came in the same instant as the stop belongs in the final rows.
        if (wasRunning && receiver->socket.isOpen())
            receiver->socket.readWaiting();
        if (receiver->joined && receiver->socket.isOpen())
            receiver->socket.leaveGroup();
        receiver->socket.close();
    }
    for (auto& transmitter : m_transmitters)
        transmitter->sender.stop();
    if (wasRunning) {
        // The final rows: every source of every receiver, whether it changed or not.
        m_printer.startTable();
        for (const auto& receiver : m_receivers) {
            for (std::size_t i = 0; i < receiver->sources.size(); ++i)
                m_printer.printRow(receiver->where.toString(), receiver->sources.at(i),
                    receiver->socket.drops(), qint64(receiver->sources.refused()));
        }
        for (const auto& receiver : m_receivers)
            m_printer.printDrops(
                receiver->where.toString(), receiver->socket.drops(), receiver->sources.refused());
    }
    emit stopped();
}

void HeadlessRun::tick()
{
    const int phase = m_phase;
    m_phase = (m_phase + 1) % Tick::phases;
    for (auto& transmitter : m_transmitters)
        transmitter->sender.tick(phase);
    if (phase != Tick::secondPhase)
        return;
    const std::int64_t now = Tick::nowMs();
    for (auto& receiver : m_receivers) {
        receiver->sources.checkOverdue(now, [&](std::size_t index, bool becameLost) {
            markChanged(*receiver, index);
            if (!becameLost)
                return;
            const Source& source = receiver->sources.at(index);
            m_printer.printEvent(Event::lostSource(receiver->where.toString(), source,
                receiver->socket.joinedForMs(), receiver->sources.allLost()));
            if (receiver->traps)
                receiver->traps->send(TrapSender::Kind::SourceLost, receiver->where, &source);
        });
        if (receiver->sources.refusalsDue(now))
            m_printer.printEvent(
                Event::sourcesRefused(receiver->where.toString(), receiver->sources));
    }
    // A source's row at most once a second, however often it sends.
    for (auto& receiver : m_receivers) {
        for (std::size_t index : receiver->changed) {
            receiver->isChanged[index] = false;
            m_printer.printRow(receiver->where.toString(), receiver->sources.at(index));
        }
        receiver->changed.clear();
    }
}

void HeadlessRun::countDatagram(Receiver& receiver, const std::uint8_t* bytes, std::size_t length,
    const std::string& address, quint16 port, int ttl)
{
    const auto counted = receiver.sources.countProbe(
        bytes, length, address, port, std::time(nullptr), Tick::nowMs(), ttl);
    if (!counted)
        return;
    markChanged(receiver, counted.index);
    const Source& source = receiver.sources.at(counted.index);
    if (counted.replaced)
        m_printer.printEvent(Event::gaveWay(receiver.where.toString(), receiver.sources.gaveWay()));
    if (counted.added)
        m_printer.printEvent(Event::newSource(receiver.where.toString(), source));
    if (counted.arrival.recovered) {
        m_printer.printEvent(
            Event::recoveredSource(receiver.where.toString(), source, counted.arrival));
        if (receiver.traps)
            receiver.traps->send(TrapSender::Kind::SourceRecovered, receiver.where, &source);
    }
}

void HeadlessRun::markChanged(Receiver& receiver, std::size_t index)
{
    if (index >= receiver.isChanged.size())
        receiver.isChanged.resize(index + 1, false);
    if (!receiver.isChanged[index]) {
        receiver.isChanged[index] = true;
        receiver.changed.push_back(index);
    }
}
