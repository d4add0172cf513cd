#include "shell/CCommandLine.h"

#include "platform/CUdpSocket.h"
#include "probe/CProbePacket.h"

#include <QCommandLineParser>

#include <limits>
#include <utility>

namespace {

constexpr std::uint32_t DURATION_MAX = std::numeric_limits<int>::max() / 1000; // what a timer waits

bool readNumber(const QString& text, std::uint32_t min, std::uint32_t max, std::uint32_t& value)
{
    bool ok = !text.isEmpty();
    for (const QChar c : text)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qulonglong number = ok ? text.toULongLong(&ok) : 0;
    if (!ok || number < min || number > max)
        return false;
    value = std::uint32_t(number);
    return true;
}

bool readEndpoint(const QString& text, CEndpoint& endpoint)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    std::uint32_t port = 0;
    if (colon < 0 || !readNumber(text.mid(colon + 1), PORT_MIN, PORT_MAX, port))
        return false;
    endpoint.group = text.left(colon).toStdString();
    endpoint.port = std::uint16_t(port);
    return CUdpSocket::IsIPv4Address(endpoint.group);
}

} // namespace

CCommandLine::Outcome CCommandLine::fail(const QString& error)
{
    m_strError = QStringLiteral("lumivox-tool: ") + error;
    return Outcome::Error;
}

CCommandLine::Outcome CCommandLine::Parse(const QStringList& arguments)
{
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QString());
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") }, QString());
    const QCommandLineOption transmit(
        QStringLiteral("transmit"), QString(), QStringLiteral("GROUP:PORT"));
    const QCommandLineOption receive(
        QStringLiteral("receive"), QString(), QStringLiteral("GROUP:PORT"));
    const QCommandLineOption ttl(QStringLiteral("ttl"), QString(), QStringLiteral("N"));
    const QCommandLineOption period(QStringLiteral("period"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("BYTES"));
    const QCommandLineOption noJoin(QStringLiteral("no-join"), QString());
    const QCommandLineOption headless(QStringLiteral("headless"), QString());
    const QCommandLineOption json(QStringLiteral("json"), QString());
    const QCommandLineOption duration(
        QStringLiteral("duration"), QString(), QStringLiteral("SECONDS"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(
        { help, version, transmit, receive, ttl, period, size, noJoin, headless, json, duration });
    if (!parser.parse(arguments))
        return fail(parser.errorText().replace(QLatin1String("'."), QLatin1String("'")).toLower()
            + QStringLiteral("; see --help"));
    if (parser.isSet(help))
        return Outcome::Help;
    if (parser.isSet(version))
        return Outcome::Version;
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"; see --help")
                        .arg(parser.positionalArguments().first()));

    for (auto [option, endpoints] :
        { std::pair(&transmit, &m_transmit), { &receive, &m_receive } }) {
        for (const QString& value : parser.values(*option)) {
            endpoints->emplace_back();
            if (!readEndpoint(value, endpoints->back()))
                return fail(QStringLiteral("--%1 takes GROUP:PORT, an IPv4 address such as "
                                           "234.5.6.7 and a port from 1 to 65535, not \"%2\"")
                                .arg(option->names().constFirst(), value));
        }
    }
    if (parser.isSet(ttl) && !readNumber(parser.value(ttl), TTL_MIN, TTL_MAX, m_nTTL))
        return fail(QStringLiteral("--ttl takes a whole number from %1 to %2, not \"%3\"")
                        .arg(TTL_MIN)
                        .arg(TTL_MAX)
                        .arg(parser.value(ttl)));
    if (parser.isSet(period)
        && !readNumber(parser.value(period), PERIOD_MIN, PERIOD_MAX, m_nPeriod))
        return fail(
            QStringLiteral("--period takes a whole number of seconds from %1 to %2, not \"%3\"")
                .arg(PERIOD_MIN)
                .arg(PERIOD_MAX)
                .arg(parser.value(period)));
    if (parser.isSet(size)) {
        m_bRandomise = parser.value(size) == QLatin1String("random");
        if (!m_bRandomise
            && !readNumber(parser.value(size), std::uint32_t(PROBE_HEADER_SIZE), PROBE_MAX_SIZE,
                m_nPacketSize))
            return fail(QStringLiteral("--size takes a whole number of bytes from %1 to %2, or "
                                       "\"random\", not \"%3\"")
                            .arg(PROBE_HEADER_SIZE)
                            .arg(PROBE_MAX_SIZE)
                            .arg(parser.value(size)));
    }
    if (parser.isSet(duration) && !readNumber(parser.value(duration), 1, DURATION_MAX, m_nDuration))
        return fail(
            QStringLiteral("--duration takes a whole number of seconds from 1 to %1, not \"%2\"")
                .arg(DURATION_MAX)
                .arg(parser.value(duration)));
    m_bJoin = !parser.isSet(noJoin);
    m_bHeadless = parser.isSet(headless);
    m_bJson = parser.isSet(json);
    if (m_bJson && !m_bHeadless)
        return fail(QStringLiteral("--json goes with --headless"));
    if (m_bHeadless && m_transmit.empty() && m_receive.empty())
        return fail(QStringLiteral("--headless needs at least one --transmit or --receive"));
    return Outcome::Run;
}

QString CCommandLine::VersionText() { return QStringLiteral("lumivox-tool " LUMIVOX_VERSION "\n"); }

QString CCommandLine::HelpText()
{
    return QStringLiteral(
        "Usage: lumivox-tool [OPTION]...\n"
        "Tests IP multicast delivery: transmitters send numbered UDP probes to a group, and\n"
        "receivers show one row per sender they hear. Without options it opens its window.\n"
        "\n"
        "  --transmit GROUP:PORT   start a transmitter to this group and port (may repeat)\n"
        "  --receive GROUP:PORT    start a receiver on this port for this group (may repeat)\n"
        "  --ttl N                 TTL of every transmitter, 1 to 255 (16)\n"
        "  --period SECONDS        seconds between probes, 1 to 86400 (5)\n"
        "  --size BYTES|random     probe size, 43 to 1500 (1000), or random from 100 to 1499\n"
        "  --no-join               receivers listen on their port without joining the group\n"
        "  --headless              no window: print what happens on standard output\n"
        "  --json                  with --headless, one JSON object a line\n"
        "  --duration SECONDS      stop after this long\n"
        "  -h, --help              show this help and exit\n"
        "  -v, --version           show the version and exit\n"
        "\n"
        "With --headless, a receiver prints a sender's row when it changes, at most once a\n"
        "second, under the headings RECEIVER SOURCE PORT LAST-RX SEQ FREQ CONS-RX CONS-MISS\n"
        "TOTAL-RX TOTAL-MISS DUPS, and a transmitter prints each probe sent, or why a send\n"
        "failed. With --json the keys are receiver, source, port, last_rx, seq, freq,\n"
        "cons_rx, cons_miss, total_rx, total_miss and dups for a row, and transmitter,\n"
        "source_port, seq, size, ttl and error (when a send failed) for a probe. SIGINT and\n"
        "SIGTERM stop it: groups are left and the final rows printed.\n"
        "\n"
        "Exit status: 0 when it ran and stopped, 1 when a port could not be bound or there is\n"
        "no display for the window, 2 for a bad argument.\n");
}
