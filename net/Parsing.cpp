#include "net/Parsing.h"

QString Endpoint::toString() const
{
    const QString where = group.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + group.toString() + QLatin1Char(']')
        : group.toString();
    const QString from = source.isNull() ? QString() : source.toString() + QLatin1Char('@');
    return from + where + QLatin1Char(':') + QString::number(port);
}

std::optional<QHostAddress> parseAddress(const QString& text)
{
    QHostAddress address;
    if (!address.setAddress(text))
        return std::nullopt;
    // Reading IPv4 back as text refuses what is not written the one canonical way.
    if (address.protocol() == QAbstractSocket::IPv4Protocol && address.toString() != text)
        return std::nullopt;
    if (address.protocol() == QAbstractSocket::IPv6Protocol && !text.contains(QLatin1Char(':')))
        return std::nullopt;
    return address;
}

bool isSourceSpecific(const QHostAddress& group)
{
    if (group.protocol() == QAbstractSocket::IPv4Protocol)
        return (group.toIPv4Address() >> 24) == 232;
    const Q_IPV6ADDR bytes = group.toIPv6Address();
    return bytes[0] == 0xff && (bytes[1] >> 4) == 3;
}

std::optional<quint32> parseNumber(const QString& text, Range range)
{
    bool digits = !text.isEmpty();
    for (const QChar c : text)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    bool ok = false;
    const qulonglong number = digits ? text.toULongLong(&ok) : 0;
    if (!ok || number < range.min || number > range.max)
        return std::nullopt;
    return quint32(number);
}

std::optional<double> parseDecimal(const QString& text, double min, double max)
{
    const int point = text.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? text : text.left(point);
    const QString fraction = point < 0 ? QStringLiteral("0") : text.mid(point + 1);
    bool digits = !whole.isEmpty() && !fraction.isEmpty();
    for (const QChar c : whole + fraction)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const double number = digits ? text.toDouble() : -1;
    if (!digits || number < min || number > max)
        return std::nullopt;
    return number;
}

std::optional<Endpoint> parseEndpoint(const QString& text, bool allowSource)
{
    const int at = allowSource ? text.indexOf(QLatin1Char('@')) : -1;
    const auto source
        = at < 0 ? std::optional<QHostAddress>(QHostAddress()) : parseAddress(text.left(at));
    const QString rest = text.mid(at + 1);
    const int colon = rest.lastIndexOf(QLatin1Char(':'));
    QString group = rest.left(colon);
    const bool bracketed = group.startsWith(QLatin1Char('[')) && group.endsWith(QLatin1Char(']'));
    if (bracketed)
        group = group.mid(1, group.size() - 2);
    const auto address = parseAddress(group);
    const auto port = parseNumber(rest.mid(colon + 1), Limits::port);
    // An IPv6 group must be bracketed, or its last colon would be taken for the port's.
    if (colon < 0 || !source || !address || !port
        || bracketed != (address->protocol() == QAbstractSocket::IPv6Protocol)
        || (!source->isNull() && source->protocol() != address->protocol()))
        return std::nullopt;
    return Endpoint { *address, quint16(*port), *source };
}

std::optional<Endpoint> parseListenAddress(const QString& text)
{
    if (const auto port = parseNumber(text, Limits::port))
        return Endpoint { QHostAddress(QHostAddress::Any), quint16(*port) };
    return parseEndpoint(text);
}

std::optional<TrapDestination> parseTrapDestination(const QString& text)
{
    TrapDestination destination { text.trimmed() };
    QString& host = destination.host;
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    // A colon is the port's after a bracketed address, a name or an IPv4 address; in a bare
    // IPv6 address it is the address's own.
    if (colon >= 0 && (host.startsWith(QLatin1Char('[')) || host.count(QLatin1Char(':')) == 1)) {
        const auto port = parseNumber(host.mid(colon + 1), Limits::port);
        if (!port)
            return std::nullopt;
        destination.port = quint16(*port);
        host.truncate(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
    }
    if (host.isEmpty() || host.contains(QLatin1Char('[')) || host.contains(QLatin1Char(' ')))
        return std::nullopt;
    return destination;
}
