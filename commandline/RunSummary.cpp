#include "commandline/RunSummary.h"

#include "commandline/CommandLine.h"
#include "core/SourceColumns.h"
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
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& source = sources.at(i);
        if (source.lost)
            fail(tr("%1 lost %2").arg(name, sourceName(source)));
        if (m_options.maxLoss && source.lossPercent() > *m_options.maxLoss)
            fail(tr("%1 missed %2 % of the probes from %3, more than --max-loss %4")
                     .arg(name)
                     .arg(shownLossPercent(source))
                     .arg(sourceName(source))
                     .arg(*m_options.maxLoss));
    }
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
    const std::vector<int> sourceWidths { -receivers, -EndpointWidth, 8, 8, 5, 10, 10, 7, 7, -7 };
    const std::vector<int> receiverWidths { -receivers, 7, 10, 15, 13 };
    const std::vector<int> transmitterWidths { -EndpointWidth, 10, 12 };
    const bool anySource = std::any_of(m_receivers.begin(), m_receivers.end(),
        [](const auto& receiver) { return receiver.first->sources().size() > 0; });
    if (!json && anySource) {
        out << tableLine(
            { QStringLiteral("RECEIVER"), QStringLiteral("SOURCE"), QStringLiteral("RECEIVED"),
                QStringLiteral("MISSING"), QStringLiteral("LOSS%"), QStringLiteral("DUPS"),
                QStringLiteral("LATE"), QStringLiteral("OUTAGES"), QStringLiteral("LONGEST"),
                QStringLiteral("STATE") },
            sourceWidths)
            << Qt::endl;
    }
    for (const auto& [receiver, name] : m_receivers) {
        for (std::size_t i = 0; i < receiver->sources().size(); ++i) {
            const Source& source = receiver->sources().at(i);
            const qint64 longest = source.longestOutageMs(m_nowMs) / 1000;
            if (json) {
                printJson(out,
                    { { QStringLiteral("receiver"), name },
                        { QStringLiteral("source"), QString::fromStdString(source.address) },
                        { QStringLiteral("port"), source.port },
                        { QStringLiteral("received"), qint64(source.totalReceived) },
                        { QStringLiteral("missing"), qint64(source.totalMissed) },
                        { QStringLiteral("loss_percent"), shownLossPercent(source) },
                        { QStringLiteral("dups"), qint64(source.duplicates) },
                        { QStringLiteral("late"), qint64(source.late) },
                        { QStringLiteral("outages"), qint64(source.outages) },
                        { QStringLiteral("longest_outage_seconds"), longest },
                        { QStringLiteral("state"), QLatin1String(stateKey(source)) } });
                continue;
            }
            out << tableLine({ name, sourceName(source), QString::number(source.totalReceived),
                                 QString::number(source.totalMissed),
                                 QString::number(source.lossPercent(), 'f', 1),
                                 QString::number(source.duplicates), QString::number(source.late),
                                 QString::number(source.outages), QString::number(longest),
                                 QLatin1String(stateKey(source)) },
                sourceWidths)
                << Qt::endl;
        }
    }
    if (!json && !m_receivers.empty())
        out << tableLine(
            { QStringLiteral("RECEIVER"), QStringLiteral("SENDERS"), QStringLiteral("HOST-DROPS"),
                QStringLiteral("SOURCES-REFUSED"), QStringLiteral("JOINS-REFUSED") },
            receiverWidths)
            << Qt::endl;
    for (const auto& [receiver, name] : m_receivers) {
        const auto senders = qint64(receiver->sources().size());
        const auto refused = qint64(receiver->sources().refused());
        if (json)
            printJson(out,
                { { QStringLiteral("receiver"), name }, { QStringLiteral("senders"), senders },
                    { QStringLiteral("host_drops"), qint64(receiver->hostDrops()) },
                    { QStringLiteral("sources_refused"), refused },
                    { QStringLiteral("joins_refused"), receiver->joinsRefused() } });
        else
            out << tableLine(
                { name, QString::number(senders), QString::number(receiver->hostDrops()),
                    QString::number(refused), QString::number(receiver->joinsRefused()) },
                receiverWidths)
                << Qt::endl;
    }
    if (!json && !m_transmitters.empty())
        out << tableLine({ QStringLiteral("TRANSMITTER"), QStringLiteral("SENT"),
                             QStringLiteral("SEND-FAILED") },
            transmitterWidths)
            << Qt::endl;
    for (const auto& [sender, name] : m_transmitters) {
        if (json)
            printJson(out,
                { { QStringLiteral("transmitter"), name },
                    { QStringLiteral("sent"), qint64(sender->sentCount()) },
                    { QStringLiteral("send_failures"), qint64(sender->failureCount()) } });
        else
            out << tableLine({ name, QString::number(sender->sentCount()),
                                 QString::number(sender->failureCount()) },
                transmitterWidths)
                << Qt::endl;
    }
    if (json && m_options.isTest())
        printJson(out,
            { { QStringLiteral("verdict"),
                  m_failures.isEmpty() ? QStringLiteral("pass") : QStringLiteral("fail") },
                { QStringLiteral("reasons"), QJsonArray::fromStringList(m_failures) } });
}
