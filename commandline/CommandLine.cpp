#include "commandline/CommandLine.h"

#include <QCommandLineParser>
#include <QNetworkInterface>

#include <algorithm>
#include <limits>

namespace {

// The longest wait a timer takes, in whole seconds.
constexpr Range DurationRange { 1, std::numeric_limits<int>::max() / 1000 };

} // namespace

CommandLine::Outcome CommandLine::fail(const QString& error)
{
    m_error = QStringLiteral("lumivox-tool: ") + error;
    return Outcome::Error;
}

// Each option's value is checked as it is read, and kept as the value it stands for.
CommandLine::Outcome CommandLine::parse(const QStringList& arguments)
{
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(
        QStringList { QStringLiteral("v"), QStringLiteral("version") });
    const QCommandLineOption transmit(
        QStringLiteral("transmit"), QString(), QStringLiteral("GROUP:PORT"));
    const QCommandLineOption receive(
        QStringLiteral("receive"), QString(), QStringLiteral("GROUP:PORT"));
    const QCommandLineOption ttl(QStringLiteral("ttl"), QString(), QStringLiteral("N"));
    const QCommandLineOption period(QStringLiteral("period"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("BYTES"));
    const QCommandLineOption noJoin(QStringLiteral("no-join"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption duration(
        QStringLiteral("duration"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption lossThreshold(
        QStringLiteral("loss-threshold"), QString(), QStringLiteral("N"));
    const QCommandLineOption interface(
        QStringLiteral("interface"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption maxLatency(
        QStringLiteral("max-latency"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption maxSources(
        QStringLiteral("max-sources"), QString(), QStringLiteral("N"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"), QString(), QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption metricsMaxSources(
        QStringLiteral("metrics-max-sources"), QString(), QStringLiteral("N"));
    const QCommandLineOption snmpTrap(
        QStringLiteral("snmp-trap"), QString(), QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption snmpCommunity(
        QStringLiteral("snmp-community"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption expectSources(
        QStringLiteral("expect-sources"), QString(), QStringLiteral("N"));
    const QCommandLineOption maxLoss(
        QStringLiteral("max-loss"), QString(), QStringLiteral("PERCENT"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({ help, version, transmit, receive, ttl, period, size, noJoin, headless, json,
        duration, lossThreshold, maxLatency, interface, maxSources, metrics, metricsMaxSources,
        snmpTrap, snmpCommunity, expectSources, maxLoss });
    if (!parser.parse(arguments)) {
        // Named as they were typed, dashes and all.
        QStringList unknown = parser.unknownOptionNames();
        for (QString& name : unknown) {
            const QString dashes = QStringLiteral("--") + name;
            const bool typedLong = std::any_of(
                arguments.begin(), arguments.end(), [&dashes](const QString& argument) {
                    return argument == dashes || argument.startsWith(dashes + QLatin1Char('='));
                });
            name = QLatin1Char('\'') + dashes.mid(typedLong ? 0 : 1) + QLatin1Char('\'');
        }
        if (unknown.isEmpty())
            return fail(
                parser.errorText().replace(QLatin1String("'."), QLatin1String("'")).toLower()
                + tr("; see --help"));
        return fail((unknown.size() == 1 ? tr("unknown option %1; see --help")
                                         : tr("unknown options %1; see --help"))
                        .arg(unknown.join(QLatin1String(", "))));
    }
    if (parser.isSet(help))
        return Outcome::Help;
    if (parser.isSet(version))
        return Outcome::Version;
    if (!parser.positionalArguments().isEmpty())
        return fail(
            tr("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().first()));

    for (auto [option, endpoints] :
        { std::pair(&transmit, &m_options.transmit), { &receive, &m_options.receive } }) {
        for (const QString& value : parser.values(*option)) {
            const bool receiving = endpoints == &m_options.receive;
            const auto endpoint = parseEndpoint(value, receiving);
            if (!endpoint)
                return fail(tr("--%1 takes %2GROUP:PORT, an IPv4 address such as 234.5.6.7 or an "
                               "IPv6 one in brackets such as [ff15::1234], and a port from 1 to "
                               "65535, not \"%3\"")
                                .arg(option->names().constFirst(),
                                    QLatin1String(receiving ? "[SOURCE@]" : ""), value));
            endpoints->push_back(*endpoint);
        }
    }
    SendSettings& sending = m_options.sending;
    // A number option: the value it stands for, or an error naming what it takes.
    const auto readNumber = [&](const QCommandLineOption& option, Range range, quint32& value,
                                const char* unit, const char* orElse = "") {
        if (!parser.isSet(option))
            return true;
        const auto number = parseNumber(parser.value(option), range);
        if (number)
            value = *number;
        else
            fail(tr("--%1 takes a whole number%2 from %3 to %4%5, not \"%6\"")
                     .arg(option.names().constFirst(), QLatin1String(unit))
                     .arg(range.min)
                     .arg(range.max)
                     .arg(QLatin1String(orElse), parser.value(option)));
        return bool(number);
    };
    sending.randomSize = parser.value(size) == QLatin1String("random");
    if (!readNumber(ttl, Limits::ttl, sending.ttl, "")
        || !readNumber(period, Limits::period, sending.period, " of seconds"))
        return Outcome::Error;
    if (!sending.randomSize
        && !readNumber(size, Limits::packetSize, sending.size, " of bytes", ", or \"random\""))
        return Outcome::Error;
    if (!readNumber(duration, DurationRange, m_options.duration, " of seconds")
        || !readNumber(lossThreshold, Limits::lossThreshold, m_options.lossThreshold, "")
        || !readNumber(maxLatency, Limits::maxLatency, m_options.maxLatency, " of seconds")
        || !readNumber(maxSources, Limits::maxSources, m_options.maxSources, "")
        || !readNumber(metricsMaxSources, Limits::maxSources, m_options.metricsMaxSources, "")
        || !readNumber(expectSources, Limits::maxSources, m_options.expectSources, ""))
        return Outcome::Error;
    if (parser.isSet(maxLoss)) {
        m_options.maxLoss = parseDecimal(parser.value(maxLoss), 0, 100);
        if (!m_options.maxLoss)
            return fail(tr("--max-loss takes a percentage from 0 to 100, such as 0.5, not \"%1\"")
                            .arg(parser.value(maxLoss)));
    }
    if (parser.isSet(metrics)) {
        m_options.metrics = parseListenAddress(parser.value(metrics));
        if (!m_options.metrics)
            return fail(tr("--metrics takes a port from 1 to 65535, or an address and a port "
                           "such as 127.0.0.1:%1 or [::1]:%1, not \"%2\"")
                            .arg(Defaults::metricsPort)
                            .arg(parser.value(metrics)));
    }
    if (parser.isSet(snmpTrap)) {
        m_options.snmpTrap = parser.value(snmpTrap);
        if (!parseTrapDestination(m_options.snmpTrap))
            return fail(tr("--snmp-trap takes a host name or address, with :PORT if not 162, "
                           "not \"%1\"")
                            .arg(m_options.snmpTrap));
    }
    if (parser.isSet(snmpCommunity))
        m_options.snmpCommunity = parser.value(snmpCommunity);
    if (parser.isSet(interface)) {
        m_options.interfaceIndex
            = QNetworkInterface::interfaceIndexFromName(parser.value(interface));
        if (!m_options.interfaceIndex)
            return fail(tr("--interface takes the name of an interface of this host, such as "
                           "eth0, not \"%1\"")
                            .arg(parser.value(interface)));
        m_options.sending.interfaceIndex = m_options.interfaceIndex;
    }
    m_options.join = !parser.isSet(noJoin);
    m_options.headless = parser.isSet(headless);
    m_options.json = parser.isSet(json);
    if (m_options.json && !m_options.headless)
        return fail(tr("--json goes with --headless"));
    if (m_options.headless && m_options.transmit.empty() && m_options.receive.empty())
        return fail(tr("--headless needs at least one --transmit or --receive"));
    return Outcome::Run;
}

std::vector<SendSettings> Options::transmitters() const
{
    std::vector<SendSettings> all;
    for (const Endpoint& where : transmit) {
        all.push_back(sending);
        all.back().destination = where;
    }
    return all;
}

std::vector<ReceiverSetup> Options::receivers() const
{
    std::vector<ReceiverSetup> all;
    for (const Endpoint& where : receive) {
        ReceiverSetup setup { {}, snmpTrap, snmpCommunity };
        setup.settings.where = where;
        setup.settings.interfaceIndex = interfaceIndex;
        setup.settings.join = join;
        setup.settings.rules = { qint64(maxLatency) * 1000, lossThreshold };
        setup.settings.maxSources = maxSources;
        all.push_back(setup);
    }
    return all;
}

QString CommandLine::version() { return QStringLiteral(LUMIVOX_VERSION); }

QString CommandLine::versionText() { return QStringLiteral("lumivox-tool %1\n").arg(version()); }

QString CommandLine::helpText()
{
    return tr(
        "Usage: lumivox-tool [OPTION]...\n"
        "Tests IP multicast delivery: transmitters send numbered UDP probes to a group, and\n"
        "receivers show one row per sender they hear. Without options it opens its window;\n"
        "without --headless, the options below open it with those panels running, each\n"
        "filled with the options that apply to it, and a test ends it with its verdict.\n"
        "\n"
        "  --transmit GROUP:PORT   start a transmitter to this group and port (may repeat)\n"
        "  --receive GROUP:PORT    start a receiver on this port for this group (may repeat);\n"
        "                          SOURCE@GROUP:PORT takes the group from that source only\n"
        "                          (SSM); IPv6 groups go in brackets: [ff15::1234]:8910\n"
        "  --ttl N                 TTL of every transmitter, %1 to %2 (%3)\n"
        "  --period SECONDS        seconds between probes, %4 to %5 (%6)\n"
        "  --size BYTES|random     probe size, %7 to %8 (%9), or random from %10 to %11\n"
        "  --no-join               receivers listen on their port without joining the group\n"
        "  --headless              no window: print what happens on standard output\n"
        "  --json                  with --headless, one JSON object a line\n"
        "  --duration SECONDS      stop after this long, %26 to %27\n"
        "  --loss-threshold N      a source is lost after N numbers in a row are overdue,\n"
        "                          %12 to %13 (%14)\n"
        "  --max-latency SECONDS   a number is overdue this long after its time, %15 to %16 "
        "(%17)\n"
        "  --interface NAME        send and join by this interface, not the system's route\n"
        "  --max-sources N         the sources a receiver keeps, %18 to %19 (%20); when\n"
        "                          full, one silent for an hour gives way, else new ones are\n"
        "                          refused and counted\n"
        "  --metrics [ADDRESS:]PORT  serve Prometheus metrics at /metrics; the usual\n"
        "                          port is %21\n"
        "  --metrics-max-sources N the sources a receiver shows in metrics, %22 to %23\n"
        "                          (%24); those beyond are counted\n"
        "  --snmp-trap HOST[:PORT] receivers send SNMPv2c traps here when a source is lost\n"
        "                          and when it recovers\n"
        "  --snmp-community NAME   the traps' community (%25)\n"
        "  --expect-sources N      the run fails when a receiver hears fewer senders\n"
        "  --max-loss PERCENT      the run fails when a sender loses more, 0 to 100\n"
        "  -h, --help              show this help and exit\n"
        "  -v, --version           show the version and exit\n"
        "\n"
        "With --headless, a receiver prints a sender's row when it changes, at most once\n"
        "a second (a lost sender's when it goes lost, then once a minute), under the\n"
        "headings RECEIVER SOURCE PORT LAST-RX SEQ FREQ CONS-RX CONS-MISS TOTAL-RX\n"
        "TOTAL-MISS LOSS% DUPS LATE RX-TTL STATE, and a transmitter prints each probe\n"
        "sent, or why a send failed. Events (a source new, lost, recovered, stopped,\n"
        "resumed or arriving with another TTL, a group joined again or waiting for its\n"
        "interface, a querier heard or gone, a send failing or working again, a join\n"
        "refused) are lines of their own: time, event, receiver, source:port, detail.\n"
        "With --json the keys are receiver, source, port, last_rx, seq, freq, cons_rx,\n"
        "cons_miss, total_rx, total_miss, loss_percent, dups, late, rx_ttl and state for\n"
        "a row (host_drops and sources_refused too in the final rows), transmitter,\n"
        "source_port, seq, size, ttl and error (when a send failed) for a probe, and\n"
        "event, time, receiver or transmitter, source, port and detail for an event\n"
        "(missing and seconds when recovered, ttl_from and ttl_to when the TTL changed,\n"
        "version and interval for a querier, sources for querier_gone: those lost since\n"
        "its last query). SIGINT and SIGTERM stop it: transmitters send their stopping\n"
        "message, groups are left, and the final rows and a summary of every source,\n"
        "receiver and transmitter are printed (with --json, objects with \"summary\":\n"
        "true).\n"
        "\n"
        "A run with --duration, --expect-sources or --max-loss is a test: it fails when a\n"
        "receiver heard no sender or fewer than expected, a sender ended lost or lost\n"
        "more than allowed, a receiver ended without the membership it asked for, or a\n"
        "transmitter's every send failed; each reason is a line on standard error.\n"
        "\n"
        "Exit status: 0 when it ran and stopped (and a test passed), 1 when a port could\n"
        "not be bound or there is no display for the window, 2 for a bad argument, 3 when\n"
        "a test failed.\n")
        .arg(Limits::ttl.min)
        .arg(Limits::ttl.max)
        .arg(Defaults::ttl)
        .arg(Limits::period.min)
        .arg(Limits::period.max)
        .arg(Defaults::period)
        .arg(Limits::packetSize.min)
        .arg(Limits::packetSize.max)
        .arg(Defaults::packetSize)
        .arg(Limits::randomSize.min)
        .arg(Limits::randomSize.max)
        .arg(Limits::lossThreshold.min)
        .arg(Limits::lossThreshold.max)
        .arg(Defaults::lossThreshold)
        .arg(Limits::maxLatency.min)
        .arg(Limits::maxLatency.max)
        .arg(Defaults::maxLatency)
        .arg(Limits::maxSources.min)
        .arg(Limits::maxSources.max)
        .arg(SourceTable::DefaultMaxSources)
        .arg(Defaults::metricsPort)
        .arg(Limits::maxSources.min)
        .arg(Limits::maxSources.max)
        .arg(Defaults::metricsMaxSources)
        .arg(QLatin1String(Defaults::community))
        .arg(DurationRange.min)
        .arg(DurationRange.max);
}
