#pragma once

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QHostAddress>
#include <QStringList>

// What on this host keeps multicast from a panel, read where the host keeps it, in words
// for people; said at Start, in the panel's line and in the log.
class HostChecks {
    Q_DECLARE_TR_FUNCTIONS(HostChecks)

public:
    // The interface (0: the one the system's route for multicast names) is down, cannot
    // multicast or has no address of the family; a receiving one filters by reverse path.
    static QStringList atStart(int interfaceIndex, const QHostAddress& group, bool receiving);
    // Why a join failed, where the host can tell more than the error: a group that is none,
    // no IPv6 route, its membership limit.
    static QString afterJoinFailed(int error, const QHostAddress& group);
    // Why a send failed, where the host can tell more: no route for the group.
    static QString afterSendFailed(int error, const QHostAddress& group);
    // That the program runs in a container's network namespace; empty where it does not.
    static QString inContainer();
    // The interface of the IPv4 route for 224.0.0.0/4, or of the default route; empty for
    // none.
    static QString multicastRouteInterface();

private:
    static QString noRoute(const QHostAddress& group);
};
