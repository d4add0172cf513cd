#pragma once

#include "core/Defaults.h"
#include "core/SourceTable.h"
#include "net/Event.h"
#include "net/HostContext.h"
#include "net/Parsing.h"
#include "net/ReceiveSocket.h"

#include <QObject>
#include <QStringList>

#include <optional>
#include <vector>

// What a receiver listens for, and how it judges loss.
struct ReceiveSettings {
    Endpoint where { QHostAddress(QLatin1String(Defaults::group)), Defaults::port };
    int interfaceIndex = 0; // the interface joins go by; 0: the system's choice
    bool join = true;
    LossRules rules {};
    std::size_t maxSources = Defaults::maxSources;
    // The senders' clocks agree with this host's: one-way delays mean something. They do
    // for a sender on this host whatever this says.
    bool syncedClocks = false;
};

// Receives probes on one port for one group: it owns the socket, the table of sources and
// the membership, counts each probe into its source and, on the tick, what is overdue. It
// tells what happened as events and which sources changed; a receiver panel and a headless
// run each contain one.
class ProbeReceiver : public QObject {
    Q_OBJECT

public:
    explicit ProbeReceiver(HostContext& host, QObject* parent = nullptr);

    // Binds the port and joins if asked. False when the port cannot be had: socket() tells
    // why. A join refused leaves it listening, and is told by joinRefused().
    bool start(const ReceiveSettings& settings);
    // Counts what is waiting, so that a probe that came with the stop is in, and what is
    // overdue by now, then leaves the group and closes.
    void stop();
    // Joins or leaves while running; false, with socket() telling why, when refused.
    bool setMember(bool member);
    // Numbers fall due by the second.
    void tick(int phase);
    // Forgets every source: counting starts again from the next probe.
    void resetCounts();

    bool isStarted() const { return m_socket.isOpen(); }
    // Asked to be a member, whether or not the system agreed.
    bool isMember() const { return m_member; }
    const ReceiveSettings& settings() const { return m_settings; }
    // The group and port, as logs and metrics name the receiver.
    QString name() const { return m_settings.where.toString(); }
    const SourceTable& sources() const { return m_sources; }
    const ReceiveSocket& socket() const { return m_socket; }
    // Since the last start.
    quint32 hostDrops() const { return m_socket.drops(); }
    // Joins the system refused, since the receiver was made.
    int joinsRefused() const { return m_joinsRefused; }
    // Asked to be a member, and not one: refused, or waiting for its interface; after a stop,
    // as it was at the stop.
    bool lacksMembership() const;
    // What metrics tell of the querier where the receiver joined.
    struct QuerierState {
        bool visible = false; // queriers can be seen here at all
        const QuerierTable::Querier* querier = nullptr; // the last one heard, if any
        bool gone = false; // none heard for as long as the protocols wait
        QString interface;
        quint64 queries = 0;
    };
    QuerierState querierState() const;
    // The querier heard on the interface joined on, as a line for people: who and how
    // often, or that none is heard, or that queriers cannot be seen here. Empty where the
    // interface is not known.
    QString querierLine() const;
    // What on this host keeps multicast from this receiver, found at the last start.
    const QStringList& hostProblems() const { return m_hostProblems; }

signals:
    void eventOccurred(const Event& event);
    // A probe was counted into the source at this place in the table, which it may have added.
    void probeCounted(std::size_t index, SourceChange change);
    // The probe just counted into the source at this place carried a block that its CRC
    // vouches for; its entries point into the datagram, for the time of the call only.
    void blockCounted(std::size_t index, const ProbeBlock::Reading& block, quint32 sequence);
    // Numbers of the source at this place fell overdue.
    void sourceChanged(std::size_t index);
    // Every source was forgotten.
    void cleared();
    // What anyone on the network can cause at will, and what the system refused.
    void emptyDatagramReceived();
    void receiveFailed(int error);
    void joinRefused(int error);

private:
    void countDatagram(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        quint16 port, int ttl, qint64 arrivalNs);
    void refuseJoin(int error);
    void tellJoinRefused(int error);
    void checkOverdue(std::int64_t nowMs);
    void tellLost(const Source& source);
    void rejoinIfMoved();
    void readLocalAddresses();
    bool isLocalAddress(const std::string& address) const;
    void watchQuerier();
    // When a query was last heard on the interface, for a lost event.
    QString querierNote() const;
    // The sources told lost since the last query on the interface, for querier_gone.
    QStringList lostSinceLastQuery() const;

    HostContext& m_host;
    ReceiveSettings m_settings;
    ReceiveSocket m_socket;
    SourceTable m_sources;
    bool m_member = false;
    int m_joinsRefused = 0;
    bool m_waiting = false; // for the interface joined on to come back
    bool m_lackedMembership = false; // at the last stop
    std::optional<QuerierAddress> m_toldQuerier; // the querier the log names, while heard
    bool m_toldQuerierGone = false;
    struct ToldLost {
        QString source;
        std::int64_t atMs = 0;
    };
    std::vector<ToldLost> m_toldLost; // since the last query, the latest hundred at most
    std::vector<std::string> m_localAddresses; // whose senders share this host's clock
    QStringList m_hostProblems;
};
