#pragma once

#include "core/MembershipQuery.h"

#include <QDateTime>
#include <QHostAddress>
#include <QObject>

#include <map>
#include <utility>

class QSocketNotifier;

// The IGMP and MLD queriers heard on each interface of the host, from one raw socket a
// family for the whole program. Raw sockets need CAP_NET_RAW; without it queriers cannot be
// seen, and everything else works as before.
class QuerierWatch : public QObject {
    Q_OBJECT

public:
    // The querier of one interface and family: the lowest address that sends general
    // queries, as the protocols elect it. A switch's own querier may send from 0.0.0.0 (or
    // ::): it is kept only while no querier with an address is heard.
    struct Querier {
        QHostAddress address;
        MembershipQuery query; // its last general query
        qint64 lastQueryMs = 0; // of the steady clock
        QDateTime lastQueryAt; // for people
    };

    // The one of the program, made at the first use.
    static QuerierWatch& instance();
    ~QuerierWatch() override;

    bool canSee(bool ipv6) const { return (ipv6 ? m_mld : m_igmp).fd >= 0; }
    // The querier last heard on the interface; null when none has been.
    const Querier* querier(int interfaceIndex, bool ipv6) const;
    // Queries heard on the interface, and packets refused as malformed or forged, since the
    // program started.
    quint64 queries(int interfaceIndex, bool ipv6) const;
    quint64 refused() const { return m_refused; }

private:
    struct Raw {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
    };

    explicit QuerierWatch(QObject* parent);
    void open(Raw& raw, bool ipv6);
    void read(bool ipv6);
    void heard(int interfaceIndex, const QHostAddress& from, const MembershipQuery& query);

    Raw m_igmp;
    Raw m_mld;
    std::map<std::pair<int, bool>, Querier> m_queriers;
    std::map<std::pair<int, bool>, quint64> m_queries;
    quint64 m_refused = 0;
};
