#include "commandline/RunSummary.h"

#include "commandline/CommandLine.h"
#include "core/SourceColumns.h"
#include "mesh/MeshMember.h"
#include "net/ProbeReceiver.h"
#include "net/ProbeSender.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>

namespace {

QString sourceName(const Source& source)
{
    return QString::fromStdString(source.address) + QLatin1Char(':') + QString::number(source.port);
}

// A line of a text table: a negative width reads from the left, a positive one from the right.
QString tableLine(const QStringList& cells, const std::vector<int>& widths)
{
    QString line;
    for (int i = 0; i < cells.size(); ++i) {
        const int width = widths[std::size_t(i)];
        line += (i ? QStringLiteral(" ") : QString())
            + (width < 0 ? cells[i].leftJustified(-width) : cells[i].rightJustified(width));
    }
    return line.trimmed();
}

void printJson(QTextStream& out, QJsonObject object)
{
    object.insert(QStringLiteral("summary"), true);
    out << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
}

} // namespace

RunSummary::RunSummary(const Options& options, std::int64_t nowMs)
    : m_options(options)
    , m_nowMs(nowMs)
{
}

void RunSummary::addReceiver(const ProbeReceiver& receiver)
{
    const QString name = m_receiverNames.next(receiver.name());
    m_receivers.push_back({ &receiver, name });
    const SourceTable& sources = receiver.sources();
    if (receiver.lacksMembership())
        fail(tr("%1 could not join its group").arg(name));
    if (sources.size() == 0)
        fail(tr("%1 heard no sender").arg(name));
    else if (sources.size() < m_options.expectSources)
        fail((sources.size() == 1 ? tr("%1 heard %2 sender, fewer than --expect-sources %3")
                                  : tr("%1 heard %2 senders, fewer than --expect-sources %3"))
                 .arg(name)
                 .arg(sources.size())
                 .arg(m_options.expectSources));
    for (std::size_t i = 0; i < sources.size(); ++i)
        checkSource(name, sources.at(i), sourceName(sources.at(i)));
}

void RunSummary::checkSource(const QString& receiver, const Source& source, const QString& from)
{
    if (source.lost)
        fail(tr("%1 lost %2").arg(receiver, from));
    if (m_options.maxLoss && source.lossPercent() > *m_options.maxLoss)
        fail(tr("%1 missed %2 % of the probes from %3, more than --max-loss %4")
                 .arg(receiver)
                 .arg(shownLossPercent(source))
                 .arg(from)
                 .arg(*m_options.maxLoss));
}

void RunSummary::printFailures(QTextStream& err) const
{
    for (const QString& failure : m_failures)
        err << tr("lumivox-tool: test failed: %1").arg(failure) << Qt::endl;
}

void RunSummary::addTransmitter(const ProbeSender& sender)
{
    const QString name = m_transmitterNames.next(sender.name());
    m_transmitters.push_back({ &sender, name });
    if (sender.sentCount() == 0 && sender.failureCount() > 0)
        fail(tr("%1 sent nothing: all its %2 sends failed").arg(name).arg(sender.failureCount()));
}

void RunSummary::addMesh(const MeshMember& member)
{
    m_mesh = &member;
    const MeshMatrix& matrix = member.matrix();
    const auto nameOf
        = [&matrix](std::size_t m) { return QString::fromStdString(matrix.nameOf(m)); };
    const QString self = nameOf(member.self());
    if (member.receiver().lacksMembership())
        fail(tr("%1 could not join its group").arg(member.name()));
    if (matrix.taking() < m_options.expectMembers)
        fail(tr("the mesh %1 had %2 members, fewer than --expect-members %3")
                 .arg(member.name())
                 .arg(matrix.taking())
                 .arg(m_options.expectMembers));
    const SourceTable& sources = member.receiver().sources();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& source = sources.at(i);
        const std::size_t heard = member.memberOf(source);
        if (heard != MeshMatrix::NotCounted)
            checkSource(self, source, nameOf(heard));
    }
    // A member stopped on purpose may have gone before it heard this one; what it last said
    // of this one stands all the same.
    for (std::size_t row = 0; row < matrix.size(); ++row) {
        const KnownMember& other = matrix.at(row);
        if (row == member.self() || other.firstHeardMs < 0)
            continue;
        const MeshCell& cell = matrix.cell(row, member.self());
        if (cell.state == PairState::Never) {
            if (!other.stoppedOnPurpose)
                fail(tr("%1 does not report hearing %2").arg(nameOf(row), self));
        } else if (cell.state == PairState::Lost)
            fail(tr("%1 reports %2 lost").arg(nameOf(row), self));
        else if (m_options.maxLoss && cell.recentLossPercent() > *m_options.maxLoss)
            fail(tr("%1 missed %2 % of the last %3 probes from %4, more than --max-loss %5")
                     .arg(nameOf(row))
                     .arg(cell.recentLossPercent(), 0, 'f', 1)
                     .arg(cell.recentReceived + cell.recentMissing)
                     .arg(self)
                     .arg(*m_options.maxLoss));
    }
}

namespace {

char stateMark(PairState state)
{
    switch (state) {
    case PairState::Ok:
        return 'o';
    case PairState::Lost:
        return 'X';
    case PairState::Stopped:
        return 's';
    case PairState::Never:
        break;
    }
    return '.';
}

} // namespace

// Each member with what it hears, a mark a column in the members' order, up to GridMembers;
// then the pairs that fail: lost, or not heard between two members that both took part.
void RunSummary::printMesh(QTextStream& out, bool json) const
{
    const MeshMatrix& matrix = m_mesh->matrix();
    const std::int64_t now = m_nowMs;
    const bool grid = matrix.size() <= GridMembers;
    const auto nameOf
        = [&matrix](std::size_t m) { return QString::fromStdString(matrix.nameOf(m)); };
    const auto reports = [&](std::size_t m) {
        const KnownMember& known = matrix.at(m);
        return known.firstHeardMs >= 0 && !matrix.isWarmingUp(m, now)
            && (known.self || !matrix.isStale(m, now));
    };
    const std::vector<int> widths { 4, -16, -EndpointWidth, -int(matrix.size()) };
    if (!json)
        out << tr("MESH %1 (o OK, X lost, s stopped, . not heard; a row is what its member "
                  "hears)")
                   .arg(m_mesh->name())
            << Qt::endl
            << tableLine({ QStringLiteral("#"), QStringLiteral("MEMBER"), QStringLiteral("ADDRESS"),
                             grid ? QStringLiteral("HEARS") : QString() },
                   widths)
            << Qt::endl;
    QJsonArray failing;
    QStringList failingLines;
    for (std::size_t row = 0; row < matrix.size(); ++row) {
        const KnownMember& known = matrix.at(row);
        QString hears;
        for (std::size_t column = 0; grid && column < matrix.size(); ++column)
            hears += column == row ? QLatin1Char('-')
                                   : QLatin1Char(stateMark(matrix.cell(row, column).state));
        for (std::size_t column = 0; reports(row) && column < matrix.size(); ++column) {
            const PairState state = matrix.cell(row, column).state;
            if (column == row
                || !(state == PairState::Lost
                    || (state == PairState::Never && matrix.at(column).firstHeardMs >= 0)))
                continue;
            const QString stateName
                = state == PairState::Lost ? QStringLiteral("lost") : QStringLiteral("not heard");
            failing.append(QJsonObject { { QStringLiteral("member"), nameOf(row) },
                { QStringLiteral("hears"), nameOf(column) },
                { QStringLiteral("state"), stateName } });
            failingLines << tr("%1 hears %2: %3").arg(nameOf(row), nameOf(column), stateName);
        }
        const QString address = known.address.empty() ? QStringLiteral("-")
                                                      : QString::fromStdString(known.address)
                + QLatin1Char(':') + QString::number(known.port);
        if (json) {
            QJsonObject line { { QStringLiteral("mesh"), m_mesh->name() },
                { QStringLiteral("member"), nameOf(row) },
                { QStringLiteral("id"), QString::number(known.id, 16).rightJustified(16, '0') },
                { QStringLiteral("address"), QString::fromStdString(known.address) },
                { QStringLiteral("port"), known.port } };
            if (grid) {
                // Hops to each member it hears, in the order of hears; null where not known.
                QJsonArray hops;
                for (std::size_t column = 0; column < matrix.size(); ++column) {
                    const int count = matrix.hops(row, column);
                    hops.append(count < 0 ? QJsonValue() : QJsonValue(count));
                }
                line.insert(QStringLiteral("hears"), hears);
                line.insert(QStringLiteral("hops"), hops);
            }
            printJson(out, line);
        } else {
            out << tableLine({ QString::number(row + 1), nameOf(row), address, hears }, widths)
                << Qt::endl;
        }
    }
    QStringList unverified = m_mesh->unverified().values();
    unverified.sort();
    if (json) {
        printJson(out,
            { { QStringLiteral("mesh"), m_mesh->name() },
                { QStringLiteral("members"), qint64(matrix.taking()) },
                { QStringLiteral("failing_pairs"), failing },
                { QStringLiteral("unverified"), QJsonArray::fromStringList(unverified) } });
        return;
    }
    if (!grid)
        for (const QString& line : failingLines)
            out << line << Qt::endl;
    if (!unverified.isEmpty())
        out << tr("Unsigned, not read: %1").arg(unverified.join(QLatin1String(", "))) << Qt::endl;
}

int RunSummary::receiverWidth(const Options& options)
{
    int width = EndpointWidth;
    PanelNames names;
    for (const Endpoint& where : options.receive)
        width = std::max(width, int(names.next(where.toString()).size()));
    return width;
}

void RunSummary::print(QTextStream& out, bool json) const
{
    const int receivers = receiverWidth(m_options);
    const std::vector<int> sourceWidths { -receivers, -EndpointWidth, 8, 8, 5, 10, 10, 7, 7, 9, 8,
        -7 };
    const std::vector<int> receiverWidths { -receivers, 7, 10, 10, 8, 15, 13 };
    const std::vector<int> transmitterWidths { -EndpointWidth, 10, 12, 10 };
    const bool anySource = std::any_of(m_receivers.begin(), m_receivers.end(),
        [](const auto& receiver) { return receiver.first->sources().size() > 0; });
    if (!json && anySource) {
        out << tableLine(
            { QStringLiteral("RECEIVER"), QStringLiteral("SOURCE"), QStringLiteral("RECEIVED"),
                QStringLiteral("MISSING"), QStringLiteral("LOSS%"), QStringLiteral("DUPS"),
                QStringLiteral("LATE"), QStringLiteral("OUTAGES"), QStringLiteral("LONGEST"),
                QStringLiteral("JITTER-MS"), QStringLiteral("GAP-MS"), QStringLiteral("STATE") },
            sourceWidths)
            << Qt::endl;
    }
    for (const auto& [receiver, name] : m_receivers) {
        for (std::size_t i = 0; i < receiver->sources().size(); ++i) {
            const Source& source = receiver->sources().at(i);
            const qint64 longest = source.longestOutageMs(m_nowMs) / 1000;
            const QString jitter
                = QString::fromStdString(cellText(source, columnInfo(SourceColumn::Jitter)));
            const QString gap
                = QString::fromStdString(cellText(source, columnInfo(SourceColumn::LongestGap)));
            if (json) {
                QJsonObject line { { QStringLiteral("receiver"), name },
                    { QStringLiteral("source"), QString::fromStdString(source.address) },
                    { QStringLiteral("port"), source.port },
                    { QStringLiteral("received"), qint64(source.totalReceived) },
                    { QStringLiteral("missing"), qint64(source.totalMissed) },
                    { QStringLiteral("loss_percent"), shownLossPercent(source) },
                    { QStringLiteral("dups"), qint64(source.duplicates) },
                    { QStringLiteral("late"), qint64(source.late) },
                    { QStringLiteral("outages"), qint64(source.outages) },
                    { QStringLiteral("longest_outage_seconds"), longest },
                    { QStringLiteral("jitter_ms"),
                        jitter.isEmpty() ? QJsonValue() : jitter.toDouble() },
                    { QStringLiteral("longest_gap_ms"), gap.toDouble() },
                    { QStringLiteral("state"), QLatin1String(stateKey(source)) } };
                QJsonArray outages;
                for (const std::uint64_t count : source.timing.outages())
                    outages.append(qint64(count));
                line.insert(QStringLiteral("outages_by_ms"), outages);
                if (const auto delay = source.timing.delay())
                    line.insert(QStringLiteral("delay_ms"),
                        QJsonArray { delay->minMs, delay->medianMs, delay->maxMs });
                printJson(out, line);
                continue;
            }
            out << tableLine({ name, sourceName(source), QString::number(source.totalReceived),
                                 QString::number(source.totalMissed),
                                 QString::number(source.lossPercent(), 'f', 1),
                                 QString::number(source.duplicates), QString::number(source.late),
                                 QString::number(source.outages), QString::number(longest),
                                 jitter.isEmpty() ? QStringLiteral("-") : jitter, gap,
                                 QLatin1String(stateKey(source)) },
                sourceWidths)
                << Qt::endl;
        }
    }
    if (!json && !m_receivers.empty())
        out << tableLine(
            { QStringLiteral("RECEIVER"), QStringLiteral("SENDERS"), QStringLiteral("HOST-DROPS"),
                QStringLiteral("MISSING"), QStringLiteral("ON-HOST"),
                QStringLiteral("SOURCES-REFUSED"), QStringLiteral("JOINS-REFUSED") },
            receiverWidths)
            << Qt::endl;
    for (const auto& [receiver, name] : m_receivers) {
        const auto senders = qint64(receiver->sources().size());
        const auto refused = qint64(receiver->sources().refused());
        // The host's share of the numbers missing; the rest is the network's.
        const auto onHost = qint64(receiver->sources().droppedOnHost(receiver->hostDrops()));
        const auto missing = qint64(receiver->sources().missing());
        if (json)
            printJson(out,
                { { QStringLiteral("receiver"), name }, { QStringLiteral("senders"), senders },
                    { QStringLiteral("host_drops"), qint64(receiver->hostDrops()) },
                    { QStringLiteral("missing"), missing },
                    { QStringLiteral("missing_dropped_on_host"), onHost },
                    { QStringLiteral("sources_refused"), refused },
                    { QStringLiteral("joins_refused"), receiver->joinsRefused() } });
        else
            out << tableLine(
                { name, QString::number(senders), QString::number(receiver->hostDrops()),
                    QString::number(missing), QString::number(onHost), QString::number(refused),
                    QString::number(receiver->joinsRefused()) },
                receiverWidths)
                << Qt::endl;
    }
    // Streams say how many of their probes left behind schedule; a probe a period cannot be.
    const bool streams = std::any_of(m_transmitters.begin(), m_transmitters.end(),
        [](const auto& transmitter) { return transmitter.first->settings().isStream(); });
    QStringList heading { QStringLiteral("TRANSMITTER"), QStringLiteral("SENT"),
        QStringLiteral("SEND-FAILED") };
    if (streams)
        heading << QStringLiteral("LATE");
    if (!json && !m_transmitters.empty())
        out << tableLine(heading, transmitterWidths) << Qt::endl;
    for (const auto& [sender, name] : m_transmitters) {
        const bool stream = sender->settings().isStream();
        if (json) {
            QJsonObject line { { QStringLiteral("transmitter"), name },
                { QStringLiteral("sent"), qint64(sender->sentCount()) },
                { QStringLiteral("send_failures"), qint64(sender->failureCount()) } };
            if (stream)
                line.insert(QStringLiteral("late"), qint64(sender->lateCount()));
            printJson(out, line);
            continue;
        }
        QStringList row { name, QString::number(sender->sentCount()),
            QString::number(sender->failureCount()) };
        if (streams)
            row << (stream ? QString::number(sender->lateCount()) : QStringLiteral("-"));
        out << tableLine(row, transmitterWidths) << Qt::endl;
    }
    if (m_mesh)
        printMesh(out, json);
    if (json && m_options.isTest())
        printJson(out,
            { { QStringLiteral("verdict"),
                  m_failures.isEmpty() ? QStringLiteral("pass") : QStringLiteral("fail") },
                { QStringLiteral("reasons"), QJsonArray::fromStringList(m_failures) } });
}
