#pragma once

#include "core/QuerierTable.h"

#include <QHostAddress>
#include <QObject>

class QSocketNotifier;

// The IGMP and MLD queriers heard on each interface of the host, from one raw socket a
// family; one serves the whole program (its HostContext). Raw sockets need CAP_NET_RAW; without it
// queriers cannot be seen, and everything else works as before.
class QuerierWatch : public QObject {
    Q_OBJECT

public:
    explicit QuerierWatch(QObject* parent = nullptr);
    ~QuerierWatch() override;

    bool canSee(bool ipv6) const { return (ipv6 ? m_mld : m_igmp).fd >= 0; }
    // The queriers heard since the program started.
    const QuerierTable& queriers() const { return m_queriers; }
    // Packets refused as malformed or forged queries.
    quint64 refused() const { return m_refused; }

    static QHostAddress address(const QuerierAddress& address);
    // How people read of a querier: its address, or what stands for it without one.
    static QString name(const QuerierAddress& address);

private:
    struct Raw {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
    };

    void open(Raw& raw, bool ipv6);
    void read(bool ipv6);

    Raw m_igmp;
    Raw m_mld;
    QuerierTable m_queriers;
    quint64 m_refused = 0;
};
