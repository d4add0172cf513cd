#include "commandline/CommandLine.h"
#include "core/SourceTable.h"
#include "monitor/MetricsText.h"
#include "net/EventColumns.h"

#include <QBuffer>
#include <QTest>

#include <array>

// What users type and what other programs read: addresses, numbers and endpoints, the
// trap destination, the command line, the log as CSV and the metrics' labels.
class tst_Parsers : public QObject {
    Q_OBJECT

private slots:
    void address_data();
    void address();
    void number_data();
    void number();
    void endpoint_data();
    void endpoint();
    void trapDestination_data();
    void trapDestination();
    void commandLine_data();
    void commandLine();
    void csvFieldsComeBackWhole();
    void metricsLabelsEscapedAndUnique();
};

// Each row: the text, and what it reads as (empty for refused).
static void addRows(std::initializer_list<std::array<const char*, 3>> rows)
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    for (const auto& [name, text, read] : rows)
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(read);
}

void tst_Parsers::address_data()
{
    addRows({ { "IPv4", "234.5.6.7", "234.5.6.7" }, { "IPv6", "ff15::1234", "ff15::1234" },
        { "IPv6 with its interface", "ff02::1%lo", "ff02::1%lo" }, { "short form", "10.1", "" },
        { "a lone number", "256", "" }, { "a leading zero", "234.5.6.07", "" },
        { "two ::", "ff15::12::34", "" }, { "a name", "host.example", "" },
        { "spaces", " 234.5.6.7", "" } });
}

void tst_Parsers::address()
{
    QFETCH(QString, text);
    const auto address = parseAddress(text);
    QTEST(address ? address->toString() : QString(), "read");
}

void tst_Parsers::number_data()
{
    addRows({ { "lowest", "1", "1" }, { "highest", "65535", "65535" }, { "below", "0", "" },
        { "above", "65536", "" }, { "2^32 + 1 does not wrap to 1", "4294967297", "" },
        { "a sign", "+5", "" }, { "an exponent", "1e3", "" }, { "empty", "", "" } });
}

void tst_Parsers::number()
{
    QFETCH(QString, text);
    const auto number = parseNumber(text, Limits::port);
    QTEST(number ? QString::number(*number) : QString(), "read");
}

void tst_Parsers::endpoint_data()
{
    addRows({ { "IPv4", "234.5.6.7:8910", "234.5.6.7:8910" },
        { "IPv6 in brackets", "[ff15::1234]:8910", "[ff15::1234]:8910" },
        { "IPv6 without brackets", "ff15::1:8910", "" },
        { "IPv4 in brackets", "[234.5.6.7]:8910", "" }, { "no port", "234.5.6.7", "" },
        { "port too high", "234.5.6.7:65536", "" },
        { "a source", "10.0.0.1@232.1.1.1:5", "10.0.0.1@232.1.1.1:5" },
        { "source of another family", "10.0.0.1@[ff3e::1]:5", "" },
        { "a bad source", "10.1@232.1.1.1:5", "" }, { "a name", "host.example:5", "" } });
}

void tst_Parsers::endpoint()
{
    QFETCH(QString, text);
    const auto endpoint = parseEndpoint(text, true);
    QTEST(endpoint ? endpoint->toString() : QString(), "read");
    // Only a receiver takes a source.
    QCOMPARE(parseEndpoint(text).has_value(), endpoint && endpoint->source.isNull());
}

void tst_Parsers::trapDestination_data()
{
    addRows({ { "a name", "nms.example", "nms.example 162" },
        { "a name and port", " nms.example:1162 ", "nms.example 1162" },
        { "bare IPv6", "::1", "::1 162" }, { "IPv6 and port", "[::1]:1162", "::1 1162" },
        { "port 0", "10.0.0.1:0", "" }, { "unclosed bracket", "[::1", "" },
        { "a space inside", "nms example", "" }, { "empty", "", "" } });
}

void tst_Parsers::trapDestination()
{
    QFETCH(QString, text);
    const auto destination = parseTrapDestination(text);
    QTEST(destination ? destination->host + ' ' + QString::number(destination->port) : QString(),
        "read");
}

void tst_Parsers::commandLine_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<CommandLine::Outcome>("outcome");
    QTest::addColumn<QString>("named"); // in the error, or a value read
    using O = CommandLine::Outcome;
    const struct {
        const char* name;
        const char* arguments;
        CommandLine::Outcome outcome;
        const char* named;
    } rows[] = { { "help", "-h", O::Help, "" }, { "version", "--version", O::Version, "" },
        { "ttl 0", "--ttl 0", O::Error, "--ttl" }, { "ttl 256", "--ttl 256", O::Error, "--ttl" },
        { "period 0", "--period 0", O::Error, "--period" },
        { "period 86401", "--period 86401", O::Error, "--period" },
        { "size 42", "--size 42", O::Error, "--size" },
        { "size 1501", "--size 1501", O::Error, "--size" },
        { "size huge", "--size huge", O::Error, "--size" },
        { "size random", "--size random", O::Run, "random" },
        { "duration 0", "--duration 0", O::Error, "--duration" },
        { "transmit without port", "--transmit 234.5.6.7", O::Error, "--transmit" },
        { "transmit with a source", "--transmit 10.0.0.1@234.5.6.7:5", O::Error, "--transmit" },
        { "receive IPv6 unbracketed", "--receive ff15::1:8910", O::Error, "--receive" },
        { "receive with a source", "--receive 10.0.0.1@232.1.1.1:5", O::Run, "10.0.0.1" },
        { "json alone", "--json", O::Error, "--json" },
        { "headless alone", "--headless", O::Error, "--headless" },
        { "unknown option", "--bogus", O::Error, "unknown option '--bogus'; see" },
        { "unknown options", "--a -b --ttl 5", O::Error, "unknown options '--a', '-b'; see" },
        { "positional", "extra", O::Error, "extra" },
        { "no such interface", "--interface lvxnone", O::Error, "--interface" },
        { "metrics port 0", "--metrics 0", O::Error, "--metrics" },
        { "metrics address", "--metrics [::1]:9781", O::Run, "[::1]:9781" },
        { "metrics sources 0", "--metrics-max-sources 0", O::Error, "--metrics-max-sources" },
        { "max loss above 100", "--max-loss 101", O::Error, "--max-loss" },
        { "max loss with a fraction", "--max-loss 0.5", O::Run, "0.5" },
        { "max loss with an exponent", "--max-loss 1e1", O::Error, "--max-loss" },
        { "max loss ending in a point", "--max-loss 1.", O::Error, "--max-loss" },
        { "expect no source", "--expect-sources 0", O::Error, "--expect-sources" },
        { "trap port 0", "--snmp-trap host:0", O::Error, "--snmp-trap" },
        { "mesh probes too small", "--headless --mesh 234.5.6.7:5 --size 210", O::Error, "211" },
        { "mesh of random sizes", "--headless --mesh 234.5.6.7:5 --size random", O::Error, "211" },
        { "a name without a mesh", "--headless --receive 234.5.6.7:5 --name a", O::Error,
            "--name goes with --mesh" },
        { "mesh key missing", "--headless --mesh 234.5.6.7:5 --mesh-key /nonexistent", O::Error,
            "/nonexistent" },
        { "rate above a million", "--rate 1000001", O::Error, "--rate" },
        { "rate with a period", "--rate 10 --period 1", O::Error, "--period are exclusive" },
        { "stream probes too small", "--burst 2 --size 80", O::Error, "81" },
        { "a burst alone stays a plain probe", "--burst 1 --size 43", O::Run, "" },
        { "stream in a mesh", "--headless --mesh 234.5.6.7:5 --rate 10 --size 300", O::Error,
            "--mesh" } };
    for (const auto& row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.arguments) << row.outcome
                                << QString::fromLatin1(row.named);
}

void tst_Parsers::commandLine()
{
    QFETCH(QString, arguments);
    QFETCH(CommandLine::Outcome, outcome);
    QFETCH(QString, named);
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(QStringList { "lumivox-tool" } + arguments.split(' ')), outcome);
    const Options& options = commandLine.options();
    const QString read = outcome == CommandLine::Outcome::Error ? commandLine.error()
        : options.sending.randomSize                            ? QStringLiteral("random")
        : options.metrics                                       ? options.metrics->toString()
        : !options.receive.empty() ? options.receive.front().source.toString()
        : options.maxLoss          ? QString::number(*options.maxLoss)
                                   : commandLine.error();
    QVERIFY2(read.contains(named), qPrintable(read));
    QCOMPARE(commandLine.error().startsWith(QStringLiteral("lumivox-tool: ")),
        outcome == CommandLine::Outcome::Error);
}

// RFC 4180's quoting, read back by a reader of its rules.
void tst_Parsers::csvFieldsComeBackWhole()
{
    const QString detail = QStringLiteral("a, \"quoted\"\nsecond line");
    const std::deque<Event> log { Event::withDetail(
        Event::Warning, QStringLiteral("234.5.6.7:8910"), detail) };
    QBuffer file;
    QVERIFY(file.open(QIODevice::WriteOnly) && EventColumns::writeCsv(log, file));
    QList<QStringList> records { {} };
    QString field;
    bool quoted = false;
    const QString text = QString::fromUtf8(file.data());
    for (int at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (quoted && c == '"' && text.mid(at + 1, 1) == '"')
            field += text.at(++at);
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ',' || c == '\n')) {
            records.last() << std::exchange(field, {});
            if (c == '\n')
                records << QStringList();
        } else
            field += c;
    }
    QCOMPARE(records.size(), 3); // the header, the event, and the end
    QCOMPARE(records.at(1).size(), records.at(0).size());
    QCOMPARE(records.at(1).last(), detail);
}

// Prometheus refuses a whole scrape with a broken label or the same series twice.
void tst_Parsers::metricsLabelsEscapedAndUnique()
{
    const SourceTable none;
    MetricsText metrics;
    const QString name = QStringLiteral("a\"b\\c\nd");
    metrics.addReceiver(name, none, 0);
    metrics.addReceiver(name, none, 0);
    const QByteArray text = metrics.text();
    const QByteArray label = "a\\\"b\\\\c\\nd"; // a\"b\\c\nd
    QVERIFY(text.contains("lumivox_rx_host_drops_total{receiver=\"" + label + "\"} 0"));
    QVERIFY(text.contains("lumivox_rx_host_drops_total{receiver=\"" + label + " #2\"} 0"));
}

QTEST_GUILESS_MAIN(tst_Parsers)
#include "tst_parsers.moc"
