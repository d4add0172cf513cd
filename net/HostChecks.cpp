#include "net/HostChecks.h"

#include <QFile>
#include <QNetworkInterface>

#include <cerrno>

namespace {

QString readFirstLine(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).trimmed()
                                          : QString();
}

} // namespace

QString HostChecks::multicastRouteInterface()
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly))
        return {};
    QString fallback;
    routes.readLine(); // the heading
    while (!routes.atEnd()) {
        const QStringList field
            = QString::fromLatin1(routes.readLine()).simplified().split(QLatin1Char(' '));
        if (field.size() < 8)
            continue;
        if (field[1] == QLatin1String("000000E0") && field[7] == QLatin1String("000000F0"))
            return field[0];
        if (field[1] == QLatin1String("00000000") && field[7] == QLatin1String("00000000"))
            fallback = field[0];
    }
    return fallback;
}

QStringList HostChecks::atStart(int interfaceIndex, const QHostAddress& group, bool receiving)
{
    QStringList problems;
    const bool ipv6 = group.protocol() == QAbstractSocket::IPv6Protocol;
    QNetworkInterface interface = QNetworkInterface::interfaceFromIndex(interfaceIndex);
    if (!interfaceIndex && !ipv6) {
        const QString name = multicastRouteInterface();
        if (name.isEmpty() && group.isMulticast())
            problems << tr("This host has no route for multicast: add one for the interface to "
                           "test, such as ip route add 224.0.0.0/4 dev eth0.");
        interface = QNetworkInterface::interfaceFromName(name);
    }
    if (interface.isValid()) {
        const QString name = interface.name();
        const auto flags = interface.flags();
        bool hasAddress = false;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            hasAddress = hasAddress || entry.ip().protocol() == group.protocol();
        if (!flags.testFlag(QNetworkInterface::IsUp))
            problems << tr("The interface %1 is down: ip link set %1 up.").arg(name);
        else if (!flags.testFlag(QNetworkInterface::CanMulticast))
            problems << tr("The interface %1 does not multicast: ip link set %1 multicast on.")
                            .arg(name);
        else if (!hasAddress)
            problems << tr("The interface %1 has no %2 address.")
                            .arg(name, QLatin1String(ipv6 ? "IPv6" : "IPv4"));
        const QString conf = QStringLiteral("/proc/sys/net/ipv4/conf/%1/rp_filter");
        const int strictest = std::max(readFirstLine(conf.arg(name)).toInt(),
            readFirstLine(conf.arg(QLatin1String("all"))).toInt());
        if (receiving && !ipv6 && strictest == 1)
            problems << tr("Reverse-path filtering is strict on %1 (rp_filter = 1): it drops "
                           "multicast from senders this host would not answer through %1. Relax "
                           "it with sysctl -w net.ipv4.conf.%1.rp_filter=2 and "
                           "net.ipv4.conf.all.rp_filter=2.")
                            .arg(name);
    }
    return problems;
}

QString HostChecks::inContainer()
{
    if (!QFile::exists(QStringLiteral("/.dockerenv"))
        && !QFile::exists(QStringLiteral("/run/.containerenv"))
        && !qEnvironmentVariableIsSet("container"))
        return {};
    return tr("This program runs in a container: unless it shares the host's network, the host "
              "must forward multicast and IGMP to the container's (a macvlan or host network, or "
              "a bridge that does not filter multicast).");
}

QString HostChecks::afterJoinFailed(int error, const QHostAddress& group)
{
    const bool ipv6 = group.protocol() == QAbstractSocket::IPv6Protocol;
    if (error == EINVAL && !group.isMulticast())
        return tr("%1 is not a multicast group: to take unicast probes, listen without joining "
                  "(--no-join, or clear Perform IGMP Join).")
            .arg(group.toString());
    if (error == ENODEV && ipv6)
        return noRoute(group);
    if (error != ENOBUFS)
        return {};
    return tr("Each socket may join at most net.ipv4.igmp_max_memberships groups, %1 here: leave "
              "groups that other programs hold, or raise the limit.")
        .arg(readFirstLine(QStringLiteral("/proc/sys/net/ipv4/igmp_max_memberships")));
}

QString HostChecks::afterSendFailed(int error, const QHostAddress& group)
{
    return error == ENETUNREACH ? noRoute(group) : QString();
}

QString HostChecks::noRoute(const QHostAddress& group)
{
    return group.protocol() == QAbstractSocket::IPv6Protocol
        ? tr("This host has no route for %1: add one, such as ip -6 route add ff00::/8 dev eth0, "
             "or choose the interface.")
              .arg(group.toString())
        : tr("This host has no route for %1: add one, such as ip route add 224.0.0.0/4 dev eth0, "
             "or choose the interface.")
              .arg(group.toString());
}
