#include "net/Event.h"

#include "net/Tick.h"

#include <cstdlib>

namespace {

Event sourceEvent(Event::Kind kind, const QString& receiver, const Source& source)
{
    Event event;
    event.kind = kind;
    event.panel = receiver;
    event.source = QString::fromStdString(source.address);
    event.port = source.port;
    return event;
}

} // namespace

QString Event::name() const
{
    switch (kind) {
    case New:
        return QStringLiteral("new");
    case Lost:
        return QStringLiteral("lost");
    case Recovered:
        return QStringLiteral("recovered");
    case SendFailed:
        return QStringLiteral("send_failed");
    case SendOk:
        return QStringLiteral("send_ok");
    case JoinRefused:
        return QStringLiteral("join_refused");
    case Join:
        return QStringLiteral("join");
    case Leave:
        return QStringLiteral("leave");
    case Warning:
        return QStringLiteral("warning");
    case Trap:
        return QStringLiteral("trap");
    case Metrics:
        return QStringLiteral("metrics");
    case Reset:
        return QStringLiteral("reset");
    case GaveWay:
        return QStringLiteral("gave_way");
    case Stopped:
        return QStringLiteral("stopped");
    case Resumed:
        return QStringLiteral("resumed");
    case TtlChanged:
        return QStringLiteral("ttl_changed");
    case Rejoined:
        return QStringLiteral("rejoined");
    case Querier:
        return QStringLiteral("querier");
    case QuerierGone:
        return QStringLiteral("querier_gone");
    case Waiting:
        return QStringLiteral("waiting");
    case Summary:
        return QStringLiteral("summary");
    case PairLost:
        return QStringLiteral("pair_lost");
    case PairRecovered:
        return QStringLiteral("pair_recovered");
    case MemberChanged:
        return QStringLiteral("member_changed");
    case ClockStepped:
        return QStringLiteral("clock_stepped");
    }
    return {};
}

QString Event::sourceText() const
{
    if (source.isEmpty() || kind == Querier)
        return source;
    return source + QLatin1Char(':') + QString::number(port);
}

Event Event::newSource(const QString& receiver, const Source& source)
{
    Event event = sourceEvent(New, receiver, source);
    // A stream tells its rate; a probe a period, the period.
    const std::int64_t periodNs = source.numberPeriodNs();
    event.detail = periodNs % 1'000'000'000
        ? tr("New source, sending %1 a second").arg(1e9 / double(periodNs), 0, 'g', 7)
        : tr("New source, sending every %1 s").arg(source.period);
    return event;
}

Event Event::clockStepped(const QString& receiver, const Source& source)
{
    Event event = sourceEvent(ClockStepped, receiver, source);
    event.detail = tr("A clock was set, here or at the sender: the time its probes take moved by "
                      "more than a second. The jitter goes on from the next probe");
    return event;
}

Event Event::lostSource(const QString& receiver, const Source& source, const QString& querierNote)
{
    Event event = sourceEvent(Lost, receiver, source);
    // At the moment the rules made it lost, which a tick or an arrival may find a little later.
    event.time = event.time.addMSecs(source.lastLoss().atMs - Tick::nowMs());
    event.detail = tr("Lost; its last probe, number %1, came at %2")
                       .arg(source.lastLoss().lastSequence)
                       .arg(QDateTime::fromSecsSinceEpoch(source.lastLoss().lastReceived)
                                .toString(QStringLiteral("HH:mm:ss")));
    if (!querierNote.isEmpty())
        event.detail += QStringLiteral("; ") + querierNote;
    return event;
}

Event Event::recoveredSource(
    const QString& receiver, const Source& source, const Source::Arrival& arrival)
{
    Event event = sourceEvent(Recovered, receiver, source);
    event.missing = arrival.missing;
    event.seconds = arrival.silentForMs / 1000;
    event.detail = tr("Recovered after %1 s silent; %2 numbers were missing")
                       .arg(event.seconds)
                       .arg(event.missing);
    return event;
}

Event Event::stoppedSource(const QString& receiver, const Source& source)
{
    Event event = sourceEvent(Stopped, receiver, source);
    event.detail
        = tr("Stopped by its transmitter after number %1: not a loss").arg(source.lastSequence);
    return event;
}

Event Event::resumedSource(const QString& receiver, const Source& source)
{
    Event event = sourceEvent(Resumed, receiver, source);
    event.detail = tr("Sending again from number %1").arg(source.lastSequence);
    return event;
}

Event Event::pathChanged(const QString& receiver, const Source& source, int ttlBefore)
{
    Event event = sourceEvent(TtlChanged, receiver, source);
    event.ttlFrom = ttlBefore;
    event.ttlTo = source.receivedTtl;
    // A TTL lower than before: the probes crossed more routers.
    const int routers = std::abs(ttlBefore - source.receivedTtl);
    event.detail = tr("TTL %1, was %2: the path from this sender changed: %3 %4")
                       .arg(source.receivedTtl)
                       .arg(ttlBefore)
                       .arg(routers == 1 ? tr("1 router") : tr("%1 routers").arg(routers),
                           ttlBefore > source.receivedTtl ? tr("more") : tr("fewer"));
    return event;
}

Event Event::gaveWay(const QString& receiver, const SourceTable::GaveWay& source)
{
    Event event;
    event.kind = GaveWay;
    event.panel = receiver;
    event.source = QString::fromStdString(source.address);
    event.port = source.port;
    event.seconds = source.silentMs / 1000;
    event.detail = tr("Silent for %1 s; its row gave way to a new source").arg(event.seconds);
    return event;
}

Event Event::sourcesRefused(const QString& receiver, const SourceTable& sources)
{
    return withDetail(Warning, receiver,
        tr("%1 probes of new sources refused so far: this receiver keeps at most %2 sources")
            .arg(sources.refused())
            .arg(sources.maxSources()));
}

Event Event::withDetail(Kind kind, const QString& panel, const QString& detail)
{
    Event event;
    event.kind = kind;
    event.panel = panel;
    event.detail = detail;
    return event;
}
