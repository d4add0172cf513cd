#pragma once

#include "core/SourceTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What a panel or a headless run tells its log: a source new, lost, recovered, stopped or
// resumed, a send that failed or works again, a membership refused, joined, left or waiting
// for its interface, the link's querier; and in the window a test trap sent, metrics
// served, counts reset.
struct Event {
    Q_DECLARE_TR_FUNCTIONS(Event)

public:
    enum Kind {
        New,
        Lost,
        Recovered,
        SendFailed,
        SendOk,
        JoinRefused,
        Join,
        Leave,
        Warning,
        Trap,
        Metrics,
        Reset,
        GaveWay,
        Stopped,
        Resumed,
        TtlChanged,
        Rejoined,
        Querier,
        QuerierGone,
        Waiting,
        Summary,
        PairLost,
        PairRecovered,
        MemberChanged,
        ClockStepped
    };

    Kind kind = New;
    QDateTime time = QDateTime::currentDateTime();
    QString panel; // the receiver's or transmitter's group and port
    QString source; // the source's address, if any
    quint16 port = 0;
    QString detail; // for people
    quint32 missing = 0; // recovered: the numbers that were really missing
    qint64 seconds = 0; // recovered: how long the source was silent
    int ttlFrom = -1; // ttl_changed: the TTL before and now
    int ttlTo = -1;
    int querierVersion = 0; // querier: the protocol's version, and how often it queries
    quint32 queryInterval = 0;
    QString member; // a mesh's pair events: the member that hears; member_changed: the member
    QString hears; // a pair event: the member heard
    QStringList sources; // querier_gone: address:port of each source told lost since its last query

    // "new", "lost", ... as printed and saved.
    QString name() const;
    // The source as people read it: address:port, the address alone for a querier, which
    // has no port; empty for none.
    QString sourceText() const;

    static Event newSource(const QString& receiver, const Source& source);
    // A transit time that moved by more than a second: a clock was set.
    static Event clockStepped(const QString& receiver, const Source& source);
    // querierNote says when a query was last heard on the receiver's interface.
    static Event lostSource(
        const QString& receiver, const Source& source, const QString& querierNote);
    static Event recoveredSource(
        const QString& receiver, const Source& source, const Source::Arrival& arrival);
    // Its transmitter said it stops, or went on after that.
    static Event stoppedSource(const QString& receiver, const Source& source);
    static Event resumedSource(const QString& receiver, const Source& source);
    // Its probes arrive with another TTL: the path from it changed.
    static Event pathChanged(const QString& receiver, const Source& source, int ttlBefore);
    // A source silent long enough gave way to a new one in a full table.
    static Event gaveWay(const QString& receiver, const SourceTable::GaveWay& source);
    // Probes of new sources refused by a full table, so far.
    static Event sourcesRefused(const QString& receiver, const SourceTable& sources);
    // An event of any kind that says no more than its detail.
    static Event withDetail(Kind kind, const QString& panel, const QString& detail);
};
