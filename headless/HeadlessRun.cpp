#include "headless/HeadlessRun.h"

#include "commandline/RunSummary.h"
#include "headless/StopSignals.h"
#include "net/HostChecks.h"
#include "net/PanelNames.h"
#include "net/SystemError.h"
#include "net/Tick.h"

#include <QCoreApplication>
#include <QTextStream>

HeadlessRun::HeadlessRun(
    HostContext& host, const Options& options, QTextStream& out, QTextStream& err)
    : m_host(host)
    , m_options(options)
    , m_out(out)
    , m_err(err)
    , m_printer(out, options.json, RunSummary::receiverWidth(options))
{
    PanelNames receiverNames;
    for (const ReceiverSetup& setup : options.receivers()) {
        m_receivers.push_back(std::make_unique<Receiver>(host));
        m_receivers.back()->setup = setup;
        m_receivers.back()->name = receiverNames.next(setup.settings.where.toString());
    }
    PanelNames transmitterNames;
    for (const SendSettings& settings : options.transmitters()) {
        m_transmitters.push_back(std::make_unique<Transmitter>(host));
        m_transmitters.back()->settings = settings;
        m_transmitters.back()->name = transmitterNames.next(settings.destination.toString());
    }
    if (const auto mesh = options.meshMember()) {
        m_mesh = std::make_unique<Mesh>(host);
        m_mesh->settings = *mesh;
    }
    connect(&m_ticker, &Ticker::ticked, this, &HeadlessRun::tick);
    m_duration.setSingleShot(true);
    // A coarse timer may end a run 5 % early or late: a stream's count would be off by that.
    m_duration.setTimerType(Qt::PreciseTimer);
    connect(&m_duration, &QTimer::timeout, this, &HeadlessRun::stop);
}

HeadlessRun::~HeadlessRun() = default;

bool HeadlessRun::start()
{
    // First, so that a stop asked for while the sockets open is a clean one.
    m_stopSignals = std::make_unique<StopSignals>();
    connect(m_stopSignals.get(), &StopSignals::received, this, &HeadlessRun::stop);
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
    if (m_mesh && !startMesh(*m_mesh))
        return false;
    m_running = true;
    m_ticker.start();
    if (m_options.durationSeconds)
        m_duration.start(std::chrono::seconds(m_options.durationSeconds));
    return true;
}

void HeadlessRun::printFailure(
    const QString& what, const Endpoint& where, const UdpSocket& socket, const QString& hint)
{
    const QString action
        = socket.failedOption().isEmpty() ? what : tr("cannot set %1").arg(socket.failedOption());
    m_err << tr("lumivox-tool: %1 for %2: %3")
                 .arg(action, where.toString(), withHint(systemErrorText(socket.error()), hint))
          << Qt::endl;
}

bool HeadlessRun::startReceiver(Receiver& receiver)
{
    ProbeReceiver& probes = receiver.receiver;
    const auto print = [this, &receiver](Event event) {
        event.panel = receiver.name;
        m_printer.printEvent(event);
    };
    connect(&probes, &ProbeReceiver::eventOccurred, this, print);
    connect(&receiver.traps, &ReceiverTraps::eventOccurred, this, print);
    followRows(probes, receiver.changed, true);
    const Endpoint& where = receiver.setup.settings.where;
    receiver.traps.setDestination(receiver.setup.trapDestination, receiver.setup.community);
    if (!probes.start(receiver.setup.settings)) {
        printFailure(tr("cannot bind UDP port %1").arg(where.port), where, probes.socket());
        return false;
    }
    return true;
}

// The rows that changed are printed at the next second; a join refused is told at once.
void HeadlessRun::followRows(const ProbeReceiver& receiver, ChangedRows& changed, bool counts)
{
    connect(&receiver, &ProbeReceiver::probeCounted, this,
        [&changed, counts](std::size_t index, SourceChange change) {
            if (counts || change == SourceChange::Everything)
                changed.mark(index);
        });
    connect(&receiver, &ProbeReceiver::sourceChanged, this,
        [&changed](std::size_t index) { changed.mark(index); });
    connect(&receiver, &ProbeReceiver::joinRefused, this, [this, &receiver](int error) {
        const Endpoint& where = receiver.settings().where;
        printFailure(tr("cannot join %1").arg(where.group.toString()), where, receiver.socket(),
            HostChecks::afterJoinFailed(error, where.group));
    });
}

// A member prints the events of both its halves and of its matrix, and a member's row when
// more than its count changed: a row a second of every member would drown a mesh's events.
// Not each probe it sends either.
bool HeadlessRun::startMesh(Mesh& mesh)
{
    MeshMember& member = mesh.member;
    connect(&member, &MeshMember::eventOccurred, this, [this, &member](Event event) {
        event.panel = member.name();
        m_printer.printEvent(event);
    });
    const ProbeReceiver& receiver = member.receiver();
    followRows(receiver, mesh.changed, false);
    const Endpoint& where = mesh.settings.sending.destination;
    if (member.start(mesh.settings))
        return true;
    if (!receiver.isStarted())
        printFailure(tr("cannot bind UDP port %1").arg(where.port), where, receiver.socket());
    else
        printFailure(tr("cannot open a socket"), where, member.sender().socket());
    return false;
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
    text.setRefusedQueries(m_host.querierWatch().refused());
    for (const auto& receiver : m_receivers)
        text.addReceiver(receiver->receiver.name(), receiver->receiver);
    for (const auto& transmitter : m_transmitters)
        text.addTransmitter(transmitter->sender.name(), transmitter->sender);
    if (m_mesh)
        text.addMesh(m_mesh->member);
}

bool HeadlessRun::startTransmitter(Transmitter& transmitter)
{
    ProbeSender& sender = transmitter.sender;
    const auto print = [this, &transmitter](quint32 sequence, quint32 size, const QString& error) {
        m_printer.printProbe(transmitter.name, transmitter.sender.sourcePort(), sequence, size,
            m_options.sending.ttl, error);
    };
    connect(&sender, &ProbeSender::probeSent, this,
        [print](quint32 sequence, quint32 size) { print(sequence, size, QString()); });
    connect(&sender, &ProbeSender::sendFailed, this,
        [print](quint32 sequence, quint32 size, int error) {
            print(sequence, size, systemErrorText(error));
        });
    connect(&sender, &ProbeSender::streamProgress, this,
        [this, &transmitter](const StreamProgress& progress) {
            const ProbeSender& stream = transmitter.sender;
            m_printer.printStream(transmitter.name, stream.sourcePort(), progress,
                stream.failure().isEmpty() ? QString() : stream.sendErrorText());
        });
    connect(&sender, &ProbeSender::eventOccurred, this, [this, &transmitter](Event event) {
        event.panel = transmitter.name;
        m_printer.printEvent(event, true);
    });
    if (!sender.start(transmitter.settings)) {
        printFailure(tr("cannot open a socket"), transmitter.settings.destination, sender.socket());
        return false;
    }
    return true;
}

int HeadlessRun::exec()
{
    if (!start()) {
        stop();
        return 1;
    }
    // Queued, so that the application's loop is running when it is told to end.
    connect(
        this, &HeadlessRun::stopped, this, [this] { QCoreApplication::exit(m_failed ? 3 : 0); },
        Qt::QueuedConnection);
    return QCoreApplication::exec();
}

void HeadlessRun::stop()
{
    const bool wasRunning = std::exchange(m_running, false);
    m_ticker.stop();
    m_duration.stop();
    // Every way a run ends here is a planned stop.
    for (auto& transmitter : m_transmitters)
        transmitter->sender.stop(ProbeSender::Stopping::Announced);
    for (auto& receiver : m_receivers)
        receiver->receiver.stop();
    if (m_mesh)
        m_mesh->member.stop();
    if (wasRunning) {
        // The final rows: every source of every receiver, whether it changed or not.
        m_printer.printHeadingBeforeNextRow();
        for (const auto& receiver : m_receivers)
            printFinalRows(receiver->name, receiver->receiver);
        if (m_mesh)
            printFinalRows(m_mesh->member.name(), m_mesh->member.receiver());
        for (const auto& receiver : m_receivers)
            m_printer.printDrops(receiver->name, receiver->receiver.hostDrops(),
                receiver->receiver.sources().refused());
        RunSummary summary(m_options, Tick::nowMs());
        for (const auto& receiver : m_receivers)
            summary.addReceiver(receiver->receiver);
        for (const auto& transmitter : m_transmitters)
            summary.addTransmitter(transmitter->sender);
        if (m_mesh)
            summary.addMesh(m_mesh->member);
        summary.print(m_out, m_options.json);
        if (m_options.isTest()) {
            summary.printFailures(m_err);
            m_failed = !summary.failures().isEmpty();
        }
    }
    emit stopped();
}

void HeadlessRun::printFinalRows(const QString& name, const ProbeReceiver& receiver)
{
    for (std::size_t i = 0; i < receiver.sources().size(); ++i)
        m_printer.printRow(name, receiver.sources().at(i), receiver.hostDrops(),
            qint64(receiver.sources().refused()));
}

void HeadlessRun::tick(int phase)
{
    for (auto& transmitter : m_transmitters)
        transmitter->sender.tick(phase);
    for (auto& receiver : m_receivers)
        receiver->receiver.tick(phase);
    if (m_mesh)
        m_mesh->member.tick(phase);
    if (phase != Tick::secondPhase)
        return;
    // A source's row at most once a second, however often it sends.
    const std::int64_t now = Tick::nowMs();
    for (auto& receiver : m_receivers) {
        const SourceTable& sources = receiver->receiver.sources();
        for (std::size_t index : receiver->changed.takeDue(sources, now))
            m_printer.printRow(receiver->name, sources.at(index));
    }
    if (m_mesh) {
        const SourceTable& sources = m_mesh->member.receiver().sources();
        for (std::size_t index : m_mesh->changed.takeDue(sources, now))
            m_printer.printRow(m_mesh->member.name(), sources.at(index));
    }
}
