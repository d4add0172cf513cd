#include "NetIsolation.h"

#include <QFile>
#include <QStringList>

bool IsNetworkIsolated(QString* why)
{
    // /proc/net follows the process's network namespace (unlike /sys/class/net, which
    // shows the namespace that mounted /sys).
    QFile devices(QStringLiteral("/proc/net/dev"));
    if (!devices.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("/proc/net/dev cannot be read");
        return false;
    }
    const QStringList deviceLines
        = QString::fromLatin1(devices.readAll()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : deviceLines.mid(2)) {
        const QString name = line.section(':', 0, 0).trimmed();
        if (name != QLatin1String("lo") && !name.startsWith(QLatin1String("lvx"))) {
            *why = QStringLiteral("interface %1 is present").arg(name);
            return false;
        }
    }
    // /proc/net/route: Iface Destination Gateway Flags ... Mask; a default route has
    // destination and mask 0.
    QFile ipv4(QStringLiteral("/proc/net/route"));
    if (!ipv4.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("/proc/net/route cannot be read");
        return false;
    }
    {
        const QStringList lines
            = QString::fromLatin1(ipv4.readAll()).split('\n', Qt::SkipEmptyParts);
        for (const QString& line : lines.mid(1)) {
            const QStringList fields = line.simplified().split(' ');
            if (fields.size() >= 8 && fields.at(1) == QLatin1String("00000000")
                && fields.at(7) == QLatin1String("00000000")) {
                *why = QStringLiteral("an IPv4 default route via %1 is present").arg(fields.at(0));
                return false;
            }
        }
    }
    // /proc/net/ipv6_route: destination, prefix length, ... device last.
    QFile ipv6(QStringLiteral("/proc/net/ipv6_route"));
    if (ipv6.open(QIODevice::ReadOnly)) {
        const QStringList lines
            = QString::fromLatin1(ipv6.readAll()).split('\n', Qt::SkipEmptyParts);
        for (const QString& line : lines) {
            const QStringList fields = line.simplified().split(' ');
            if (fields.size() >= 10 && fields.at(0) == QString(32, '0')
                && fields.at(1) == QLatin1String("00") && fields.at(9) != QLatin1String("lo")) {
                *why = QStringLiteral("an IPv6 default route via %1 is present").arg(fields.at(9));
                return false;
            }
        }
    }
    return true;
}
