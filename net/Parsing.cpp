#include "net/Parsing.h"

QString Endpoint::toString() const
{
    return group.toString() + QLatin1Char(':') + QString::number(port);
}

std::optional<QHostAddress> parseIPv4(const QString& text)
{
    // Reading the address back as text refuses what is not written the one canonical way.
    QHostAddress address;
    if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol
        || address.toString() != text)
        return std::nullopt;
    return address;
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

std::optional<Endpoint> parseEndpoint(const QString& text)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    const auto group = parseIPv4(text.left(colon));
    const auto port = parseNumber(text.mid(colon + 1), Limits::port);
    if (colon < 0 || !group || !port)
        return std::nullopt;
    return Endpoint { *group, quint16(*port) };
}
