#include "commandline/CommandLine.h"

#include "core/SourceColumns.h"
#include "core/StreamProbes.h"

#include <QCommandLineParser>
#include <QNetworkInterface>
#include <QSysInfo>

#include <algorithm>
#include <limits>

namespace {

// The longest wait a timer takes, in whole seconds.
constexpr Range DurationRange { 1, std::numeric_limits<int>::max() / 1000 };
// A view page numbers its members' states in 2 bytes.
constexpr Range MeshMembersRange { 2, 65535 };

// Where --help starts each option's help, and how wide its paragraphs run.
constexpr int HelpColumn = 26;
constexpr int HelpWidth = 80;

QString wrapped(const QString& paragraph)
{
    QString text;
    QString line;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > HelpWidth) {
            text += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return text + line + QLatin1Char('\n');
}

} // namespace

CommandLine::Outcome CommandLine::fail(const QString& error)
{
    m_error = QStringLiteral("lumivox-tool: ") + error;
    return Outcome::Error;
}

// Every option, once: what parsing accepts and what --help says come from here.
std::vector<CommandLine::OptionInfo> CommandLine::optionTable()
{
    const auto range
        = [](const Range& limits) { return tr("%1 to %2").arg(limits.min).arg(limits.max); };
    return {
        { { QStringLiteral("transmit") }, QStringLiteral("GROUP:PORT"),
            tr("start a transmitter to this group and port (may repeat)") },
        { { QStringLiteral("receive") }, QStringLiteral("GROUP:PORT"),
            tr("start a receiver on this port for this group (may repeat);\nSOURCE@GROUP:PORT "
               "takes the group from that source only\n(SSM); IPv6 groups go in brackets: "
               "[ff15::1234]:8910") },
        { { QStringLiteral("ttl") }, QStringLiteral("N"),
            tr("TTL of every transmitter, %1 (%2)").arg(range(Limits::ttl)).arg(Defaults::ttl) },
        { { QStringLiteral("period") }, QStringLiteral("SECONDS"),
            tr("seconds between probes, %1 (%2)")
                .arg(range(Limits::period))
                .arg(Defaults::period) },
        { { QStringLiteral("rate") }, QStringLiteral("PPS"),
            tr("send a stream of PPS probes a second, %1, on\nschedule, instead of one a "
               "--period")
                .arg(range(Limits::rate)) },
        { { QStringLiteral("burst") }, QStringLiteral("K"),
            tr("send the probes K at a time, back to back, %1: at\nPPS / K instants a second, "
               "or K each --period")
                .arg(range(Limits::burst)) },
        { { QStringLiteral("size") }, QStringLiteral("BYTES|random"),
            tr("probe size, %1 (%2), or random from %3")
                .arg(range(Limits::packetSize))
                .arg(Defaults::packetSize)
                .arg(range(Limits::randomSize)) },
        { { QStringLiteral("mesh") }, QStringLiteral("GROUP:PORT"),
            tr("be a member of a mesh on this group and port: send\nprobes that report what this "
               "host hears, and keep the\nmatrix of who hears whom (a probe a second unless\n"
               "--period; --size at least %1)")
                .arg(MemberReport::minimumProbeSize()) },
        { { QStringLiteral("name") }, QStringLiteral("NAME"),
            tr("the mesh member's name (the host's name)") },
        { { QStringLiteral("mesh-key") }, QStringLiteral("FILE"),
            tr("sign the mesh's reports with the key in FILE (%1 bytes\nor more, readable by its "
               "owner only), and trust only\nsigned ones")
                .arg(MeshKey::MinimumBytes) },
        { { QStringLiteral("max-members") }, QStringLiteral("N"),
            tr("the mesh members kept, %1 (%2); more are refused and\ncounted")
                .arg(range(MeshMembersRange))
                .arg(MeshSettings::DefaultMaxMembers) },
        { { QStringLiteral("synced-clocks") }, {},
            tr("the senders' clocks agree with this host's (PTP, NTP):\nreceivers give one-way "
               "delays, as they do for\nsenders on this host") },
        { { QStringLiteral("no-join") }, {},
            tr("receivers listen on their port without joining the group") },
        { { QStringLiteral("headless") }, {},
            tr("no window: print what happens on standard output") },
        { { QStringLiteral("json") }, {}, tr("with --headless, one JSON object a line") },
        { { QStringLiteral("duration") }, QStringLiteral("SECONDS"),
            tr("stop after this long, %1").arg(range(DurationRange)) },
        { { QStringLiteral("loss-threshold") }, QStringLiteral("N"),
            tr("a source is lost after N numbers in a row are overdue,\n%1 (%2)")
                .arg(range(Limits::lossThreshold))
                .arg(Defaults::lossThreshold) },
        { { QStringLiteral("max-latency") }, QStringLiteral("SECONDS"),
            tr("a number is overdue this long after its time, %1 (%2)")
                .arg(range(Limits::maxLatency))
                .arg(Defaults::maxLatency) },
        { { QStringLiteral("interface") }, QStringLiteral("NAME"),
            tr("send and join by this interface, not the system's route") },
        { { QStringLiteral("max-sources") }, QStringLiteral("N"),
            tr("the sources a receiver keeps, %1 (%2); when\nfull, one silent for an hour gives "
               "way, else new ones are\nrefused and counted")
                .arg(range(Limits::maxSources))
                .arg(Defaults::maxSources) },
        { { QStringLiteral("metrics") }, QStringLiteral("[ADDRESS:]PORT"),
            tr("serve Prometheus metrics at /metrics; the usual\nport is %1")
                .arg(Defaults::metricsPort) },
        { { QStringLiteral("metrics-max-sources") }, QStringLiteral("N"),
            tr("the sources a receiver shows in metrics, %1\n(%2); those beyond are counted")
                .arg(range(Limits::maxSources))
                .arg(Defaults::metricsMaxSources) },
        { { QStringLiteral("snmp-trap") }, QStringLiteral("HOST[:PORT]"),
            tr("receivers send SNMPv2c traps here when a source is lost\nand when it recovers") },
        { { QStringLiteral("snmp-community") }, QStringLiteral("NAME"),
            tr("the traps' community (%1)").arg(QLatin1String(Defaults::community)) },
        { { QStringLiteral("expect-sources") }, QStringLiteral("N"),
            tr("the run fails when a receiver hears fewer senders") },
        { { QStringLiteral("max-loss") }, QStringLiteral("PERCENT"),
            tr("the run fails when a sender loses more, 0 to 100") },
        { { QStringLiteral("expect-members") }, QStringLiteral("N"),
            tr("the run fails when fewer mesh members took part") },
        { { QStringLiteral("h"), QStringLiteral("help") }, {}, tr("show this help and exit") },
        { { QStringLiteral("v"), QStringLiteral("version") }, {}, tr("show the version and exit") },
    };
}

// Each option's value is checked as it is read, and kept as the value it stands for.
CommandLine::Outcome CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionInfo& option : optionTable())
        parser.addOption(option.value.isEmpty()
                ? QCommandLineOption(option.names)
                : QCommandLineOption(option.names, QString(), option.value));
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
    if (parser.isSet(QStringLiteral("help")))
        return Outcome::Help;
    if (parser.isSet(QStringLiteral("version")))
        return Outcome::Version;
    if (!parser.positionalArguments().isEmpty())
        return fail(
            tr("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().first()));

    std::vector<Endpoint> mesh;
    for (auto [option, endpoints] : { std::pair(QStringLiteral("transmit"), &m_options.transmit),
             { QStringLiteral("receive"), &m_options.receive },
             { QStringLiteral("mesh"), &mesh } }) {
        for (const QString& value : parser.values(option)) {
            const bool receiving = endpoints == &m_options.receive;
            if (endpoints == &mesh && !mesh.empty())
                return fail(tr("--mesh is given once: a run is a member of one mesh"));
            const auto endpoint = parseEndpoint(value, receiving);
            if (!endpoint)
                return fail(tr("--%1 takes %2GROUP:PORT, an IPv4 address such as 234.5.6.7 or an "
                               "IPv6 one in brackets such as [ff15::1234], and a port from 1 to "
                               "65535, not \"%3\"")
                                .arg(option, QLatin1String(receiving ? "[SOURCE@]" : ""), value));
            endpoints->push_back(*endpoint);
        }
    }
    SendSettings& sending = m_options.sending;
    // A number option: the value it stands for, or an error naming what it takes.
    const auto readNumber = [&](const QString& option, Range range, quint32& value,
                                const char* unit, const char* orElse = "") {
        if (!parser.isSet(option))
            return true;
        const auto number = parseNumber(parser.value(option), range);
        if (number)
            value = *number;
        else
            fail(tr("--%1 takes a whole number%2 from %3 to %4%5, not \"%6\"")
                     .arg(option, QLatin1String(unit))
                     .arg(range.min)
                     .arg(range.max)
                     .arg(QLatin1String(orElse), parser.value(option)));
        return bool(number);
    };
    sending.randomSize = parser.value(QStringLiteral("size")) == QLatin1String("random");
    if (!readNumber(QStringLiteral("ttl"), Limits::ttl, sending.ttl, "")
        || !readNumber(
            QStringLiteral("period"), Limits::period, sending.periodSeconds, " of seconds")
        || !readNumber(QStringLiteral("rate"), Limits::rate, sending.rate, " of probes a second")
        || !readNumber(QStringLiteral("burst"), Limits::burst, sending.burst, ""))
        return Outcome::Error;
    if (!sending.randomSize
        && !readNumber(QStringLiteral("size"), Limits::packetSize, sending.sizeBytes, " of bytes",
            ", or \"random\""))
        return Outcome::Error;
    if (!readNumber(
            QStringLiteral("duration"), DurationRange, m_options.durationSeconds, " of seconds")
        || !readNumber(
            QStringLiteral("loss-threshold"), Limits::lossThreshold, m_options.lossThreshold, "")
        || !readNumber(QStringLiteral("max-latency"), Limits::maxLatency,
            m_options.maxLatencySeconds, " of seconds")
        || !readNumber(QStringLiteral("max-sources"), Limits::maxSources, m_options.maxSources, "")
        || !readNumber(QStringLiteral("metrics-max-sources"), Limits::maxSources,
            m_options.metricsMaxSources, "")
        || !readNumber(
            QStringLiteral("expect-sources"), Limits::maxSources, m_options.expectSources, "")
        || !readNumber(QStringLiteral("max-members"), MeshMembersRange, m_options.maxMembers, "")
        || !readNumber(
            QStringLiteral("expect-members"), MeshMembersRange, m_options.expectMembers, ""))
        return Outcome::Error;
    m_options.periodGiven = parser.isSet(QStringLiteral("period"));
    if (sending.rate && m_options.periodGiven)
        return fail(tr("--rate and --period are exclusive: a stream's rate sets its timing"));
    if (sending.isStream() && !mesh.empty())
        return fail(tr("--rate and --burst do not go with --mesh, whose probes report once a "
                       "period"));
    if (sending.isStream() && !sending.randomSize && sending.sizeBytes < StreamProbes::MinimumSize)
        return fail(tr("--rate and --burst need a --size of at least %1 bytes, for the timing "
                       "their probes carry")
                        .arg(StreamProbes::MinimumSize));
    if (!mesh.empty()) {
        m_options.mesh = mesh.front();
        const quint32 least = quint32(MemberReport::minimumProbeSize());
        if (sending.randomSize || sending.sizeBytes < least)
            return fail(tr("--mesh needs a --size of at least %1 bytes, for what its probes "
                           "report")
                            .arg(least));
        m_options.memberName = parser.isSet(QStringLiteral("name"))
            ? parser.value(QStringLiteral("name"))
            : QSysInfo::machineHostName();
        if (parser.isSet(QStringLiteral("mesh-key"))) {
            QString error;
            m_options.meshKeyFile = parser.value(QStringLiteral("mesh-key"));
            m_options.meshKey = MeshKey::load(m_options.meshKeyFile, &error);
            if (!m_options.meshKey)
                return fail(error);
        }
    } else {
        for (const char* option : { "name", "mesh-key", "max-members", "expect-members" }) {
            if (parser.isSet(QLatin1String(option)))
                return fail(tr("--%1 goes with --mesh").arg(QLatin1String(option)));
        }
    }
    if (parser.isSet(QStringLiteral("max-loss"))) {
        m_options.maxLoss = parseDecimal(parser.value(QStringLiteral("max-loss")), 0, 100);
        if (!m_options.maxLoss)
            return fail(tr("--max-loss takes a percentage from 0 to 100, such as 0.5, not \"%1\"")
                            .arg(parser.value(QStringLiteral("max-loss"))));
    }
    if (parser.isSet(QStringLiteral("metrics"))) {
        m_options.metrics = parseListenAddress(parser.value(QStringLiteral("metrics")));
        if (!m_options.metrics)
            return fail(tr("--metrics takes a port from 1 to 65535, or an address and a port "
                           "such as 127.0.0.1:%1 or [::1]:%1, not \"%2\"")
                            .arg(Defaults::metricsPort)
                            .arg(parser.value(QStringLiteral("metrics"))));
    }
    if (parser.isSet(QStringLiteral("snmp-trap"))) {
        m_options.snmpTrap = parser.value(QStringLiteral("snmp-trap"));
        if (!parseTrapDestination(m_options.snmpTrap))
            return fail(tr("--snmp-trap takes a host name or address, with :PORT if not 162, "
                           "not \"%1\"")
                            .arg(m_options.snmpTrap));
    }
    if (parser.isSet(QStringLiteral("snmp-community")))
        m_options.snmpCommunity = parser.value(QStringLiteral("snmp-community"));
    if (parser.isSet(QStringLiteral("interface"))) {
        m_options.interfaceIndex
            = QNetworkInterface::interfaceIndexFromName(parser.value(QStringLiteral("interface")));
        if (!m_options.interfaceIndex)
            return fail(tr("--interface takes the name of an interface of this host, such as "
                           "eth0, not \"%1\"")
                            .arg(parser.value(QStringLiteral("interface"))));
        m_options.sending.interfaceIndex = m_options.interfaceIndex;
    }
    m_options.join = !parser.isSet(QStringLiteral("no-join"));
    m_options.syncedClocks = parser.isSet(QStringLiteral("synced-clocks"));
    m_options.headless = parser.isSet(QStringLiteral("headless"));
    m_options.json = parser.isSet(QStringLiteral("json"));
    if (m_options.json && !m_options.headless)
        return fail(tr("--json goes with --headless"));
    if (m_options.headless && m_options.transmit.empty() && m_options.receive.empty()
        && !m_options.mesh)
        return fail(tr("--headless needs at least one --transmit, --receive or --mesh"));
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
        setup.settings.syncedClocks = syncedClocks;
        setup.settings.rules = { qint64(maxLatencySeconds) * 1000, lossThreshold };
        setup.settings.maxSources = maxSources;
        all.push_back(setup);
    }
    return all;
}

std::optional<MeshSettings> Options::meshMember() const
{
    if (!mesh)
        return std::nullopt;
    MeshSettings member;
    member.sending = sending;
    member.sending.destination = *mesh;
    if (!periodGiven)
        member.sending.periodSeconds = MeshSettings::DefaultPeriodSeconds;
    member.receiving.where = *mesh;
    member.receiving.interfaceIndex = interfaceIndex;
    member.receiving.rules = { qint64(maxLatencySeconds) * 1000, lossThreshold };
    member.receiving.maxSources = maxSources;
    member.name = memberName;
    member.key = meshKey;
    member.maxMembers = maxMembers;
    return member;
}

QString CommandLine::version() { return QStringLiteral(LUMIVOX_VERSION); }

QString CommandLine::versionText() { return QStringLiteral("lumivox-tool %1\n").arg(version()); }

QString CommandLine::helpText()
{
    QString options;
    for (const OptionInfo& option : optionTable()) {
        QStringList names;
        for (const QString& name : option.names)
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString line = QStringLiteral("  ") + names.join(QLatin1String(", "));
        if (!option.value.isEmpty())
            line += QLatin1Char(' ') + option.value;
        // The help starts in its column, or two spaces after a longer option.
        line = line.size() < HelpColumn ? line.leftJustified(HelpColumn)
                                        : line + QStringLiteral("  ");
        options += line
            + QString(option.help)
                  .replace(QLatin1String("\n"),
                      QLatin1Char('\n') + QString(HelpColumn, QLatin1Char(' ')))
            + QLatin1Char('\n');
    }
    QStringList headings { QString::fromLatin1(ReceiverPrintedHeading) };
    QStringList keys { QString::fromLatin1(ReceiverJsonKey) };
    for (const SourceColumnInfo& column : SourceColumns) {
        headings << QString::fromLatin1(column.printedHeading);
        keys << QString::fromLatin1(column.jsonKey);
    }
    const QString lastKey = keys.takeLast();
    return tr("Usage: lumivox-tool [OPTION]...") + QLatin1Char('\n')
        + wrapped(tr("Tests IP multicast delivery: transmitters send numbered UDP probes to a "
                     "group, and receivers show one row per sender they hear. Without options it "
                     "opens its window; without --headless, the options below open it with those "
                     "panels running, each filled with the options that apply to it, and a test "
                     "ends it with its verdict."))
        + QLatin1Char('\n') + options + QLatin1Char('\n')
        + wrapped(
            tr("With --headless, a receiver prints a sender's row when it changes, at most "
               "once a second (a lost sender's when it goes lost, then once a minute), "
               "under the headings %1, and a transmitter prints each probe sent, or why a "
               "send failed. Events (a source new, lost, recovered, stopped, resumed or "
               "arriving with another TTL, a group joined again or waiting for its "
               "interface, a querier heard or gone, a send failing or working again, a "
               "join refused) are lines of their own: time, event, receiver, source:port, "
               "detail. With --json the keys are %2 and %3 for a row (host_drops and "
               "sources_refused too in the final rows), transmitter, source_port, seq, "
               "size, ttl and error (when a send failed) for a probe, and event, time, "
               "receiver or transmitter, source, port and detail for an event (missing and "
               "seconds when recovered, ttl_from and ttl_to when the TTL changed, version "
               "and interval for a querier, sources for querier_gone: those lost since its "
               "last query). SIGINT and SIGTERM stop it: transmitters send their stopping "
               "message, groups are left, and the final rows and a summary of every "
               "source, receiver and transmitter are printed (with --json, objects with "
               "\"summary\": true).")
                .arg(headings.join(QLatin1Char(' ')), keys.join(QLatin1String(", ")), lastKey))
        + QLatin1Char('\n')
        + wrapped(tr("A mesh member (--mesh) prints its receiver's rows, pair_lost and "
                     "pair_recovered for the pairs it is part of (JSON keys member, the one "
                     "that hears, and hears) and member_changed when another member's sums "
                     "change; its summary prints the matrix of who hears whom."))
        + QLatin1Char('\n')
        + wrapped(tr("A run with --duration, --expect-sources or --max-loss is a test: it fails "
                     "when a receiver heard no sender or fewer than expected, a sender ended lost "
                     "or lost more than allowed, a receiver ended without the membership it asked "
                     "for, or a transmitter's every send failed; a mesh member fails when fewer "
                     "than --expect-members took part, or a member it hears, or one that reports "
                     "hearing it, did not within --max-loss. Each reason is a line on standard "
                     "error."))
        + QLatin1Char('\n')
        + wrapped(tr("Exit status: 0 when it ran and stopped (and a test passed), 1 when a port "
                     "could not be bound or there is no display for the window, 2 for a bad "
                     "argument, 3 when a test failed."));
}
