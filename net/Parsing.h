#pragma once

#include "core/Defaults.h"

#include <QHostAddress>
#include <QString>

#include <optional>

// A group, or any address, and a port to send to or listen on; for a receiver, the one
// source it takes the group from, if any (source-specific multicast).
struct Endpoint {
    Endpoint() = default;
    Endpoint(const QHostAddress& address, quint16 toPort, const QHostAddress& from = {})
        : group(address)
        , port(toPort)
        , source(from)
    {
    }

    QHostAddress group;
    quint16 port = 0;
    QHostAddress source;

    // 234.5.6.7:8910, [ff15::1234]:8910, 10.0.0.1@232.1.1.1:8910
    QString toString() const;
};

// Dotted-decimal IPv4 or IPv6 text (ff02::1%eth0 names its interface), and nothing else: a
// name would need a lookup, which could block the one thread, and the short IPv4 forms
// inet_aton takes ("10.1") mislead.
std::optional<QHostAddress> parseAddress(const QString& text);
// Whether a group is one of source-specific multicast: 232.0.0.0/8 or ff3x::/32.
bool isSourceSpecific(const QHostAddress& group);
// Decimal digits only, within the range.
std::optional<quint32> parseNumber(const QString& text, Range range);
// Decimal digits with an optional fraction (12, 0.5), within the range.
std::optional<double> parseDecimal(const QString& text, double min, double max);
// GROUP:PORT or [GROUP]:PORT for IPv6, and with allowSource SOURCE@ before it, as the
// command line takes them.
std::optional<Endpoint> parseEndpoint(const QString& text, bool allowSource = false);
// [ADDRESS:]PORT, as metrics are served; without an address, every address of the host.
std::optional<Endpoint> parseListenAddress(const QString& text);

// Where SNMP traps go.
struct TrapDestination {
    QString host;
    quint16 port = Defaults::trapPort;
};
// HOST, HOST:PORT, an IPv6 address, or [IPv6]:PORT.
std::optional<TrapDestination> parseTrapDestination(const QString& text);
