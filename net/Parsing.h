#pragma once

#include "core/Defaults.h"

#include <QHostAddress>
#include <QString>

#include <optional>

// A group, or any address, and a port to send to or listen on.
struct Endpoint {
    QHostAddress group;
    quint16 port = 0;

    QString toString() const;
};

// Dotted-decimal IPv4 text, and nothing else: a name would need a lookup, which could
// block the one thread, and the short forms inet_aton takes ("10.1") mislead.
std::optional<QHostAddress> parseIPv4(const QString& text);
// Decimal digits only, within the range.
std::optional<quint32> parseNumber(const QString& text, Range range);
// GROUP:PORT, as the command line takes it.
std::optional<Endpoint> parseEndpoint(const QString& text);
