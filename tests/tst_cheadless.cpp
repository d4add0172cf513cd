#include "shell/CHeadless.h"

#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>

namespace {

const char* const GROUP = "234.5.6.7";

CCommandLine options(const QStringList& arguments)
{
    CCommandLine parsed;
    if (parsed.Parse(QStringList { "lumivox-tool" } + arguments) != CCommandLine::Outcome::Run)
        qFatal("bad arguments: %s", qPrintable(parsed.Error()));
    return parsed;
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runHeadless(const QStringList& arguments)
{
    const CCommandLine parsed = options(arguments);
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    CHeadless headless(parsed, out, err);
    run.status = headless.Exec();
    return run;
}

QList<QJsonObject> jsonLines(const QString& text)
{
    QList<QJsonObject> lines;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << QJsonDocument::fromJson(line.toUtf8()).object();
    return lines;
}

// Whether this namespace's loopback is a member of the group, as the kernel sees it.
bool loopbackIsMember(const char* group)
{
    QFile memberships(QStringLiteral("/proc/net/igmp"));
    if (!memberships.open(QIODevice::ReadOnly))
        return false;
    in_addr address {};
    inet_pton(AF_INET, group, &address);
    const QString hex = QStringLiteral("%1").arg(address.s_addr, 8, 16, QLatin1Char('0')).toUpper();
    return QString::fromLatin1(memberships.readAll()).contains(hex);
}

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QLatin1String(name));
    return environment;
}

} // namespace

// The program without a window: in this process, and as the real program.
class tst_CHeadless : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void transmitterFeedsReceiverAsJson();
    void textRowsLineUpUnderTheirHeadings();
    void aSourceIsPrintedAtMostOnceASecond();
    void aProbeJustBeforeTheStopIsInTheFinalRows();
    void bindFailureEndsTheRun();
    void refusedJoinIsToldAndTheRunGoesOn();
    void groupsAreLeftAtTheEnd();
    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void noDisplaySaysWhatToDo();
    void badArgumentStartsNothing();
    void stopSignalEndsCleanly_data();
    void stopSignalEndsCleanly();
};

void tst_CHeadless::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CHeadless::transmitterFeedsReceiverAsJson()
{
    const Run run = runHeadless({ "--headless", "--json", "--transmit", "234.5.6.7:9501",
        "--receive", "234.5.6.7:9501", "--period", "1", "--ttl", "7", "--duration", "3" });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QString());
    QList<QJsonObject> probes, rows;
    for (const QJsonObject& line : jsonLines(run.out))
        (line.contains(QLatin1String("transmitter")) ? probes : rows) << line;
    QVERIFY2(probes.size() >= 2, qPrintable(run.out));
    QCOMPARE(
        probes.at(0).keys(), QStringList({ "seq", "size", "source_port", "transmitter", "ttl" }));
    QCOMPARE(
        probes.at(0)[QLatin1String("transmitter")].toString(), QStringLiteral("234.5.6.7:9501"));
    QCOMPARE(probes.at(0)[QLatin1String("seq")].toInt(), 1);
    QCOMPARE(probes.at(1)[QLatin1String("seq")].toInt(), 2);
    QCOMPARE(probes.at(0)[QLatin1String("size")].toInt(), 1000);
    QCOMPARE(probes.at(0)[QLatin1String("ttl")].toInt(), 7);

    QVERIFY2(!rows.isEmpty(), qPrintable(run.out));
    const QJsonObject last = rows.last(); // the final table
    QCOMPARE(last.keys(),
        QStringList({ "cons_miss", "cons_rx", "dups", "freq", "last_rx", "port", "receiver", "seq",
            "source", "total_miss", "total_rx" }));
    QCOMPARE(last[QLatin1String("receiver")].toString(), QStringLiteral("234.5.6.7:9501"));
    QCOMPARE(last[QLatin1String("source")].toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(
        last[QLatin1String("port")].toInt(), probes.at(0)[QLatin1String("source_port")].toInt());
    QCOMPARE(last[QLatin1String("seq")].toInt(), probes.last()[QLatin1String("seq")].toInt());
    QCOMPARE(last[QLatin1String("freq")].toInt(), 1);
    QCOMPARE(last[QLatin1String("dups")].toInt(), 0);
    QVERIFY(
        QDateTime::fromString(last[QLatin1String("last_rx")].toString(), Qt::ISODate).isValid());
}

void tst_CHeadless::textRowsLineUpUnderTheirHeadings()
{
    UdpPeer sender;
    QTimer::singleShot(300, [&] { sender.sendTo(probeBytes(3000000000u, 86400), GROUP, 9502); });
    const Run run = runHeadless({ "--headless", "--receive", "234.5.6.7:9502", "--duration", "2" });
    QCOMPARE(run.status, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 2, qPrintable(run.out));
    const QString heading = lines.at(0);
    QCOMPARE(heading.simplified(),
        QStringLiteral("RECEIVER SOURCE PORT LAST-RX SEQ FREQ CONS-RX CONS-MISS TOTAL-RX "
                       "TOTAL-MISS DUPS"));
    const QString row = lines.at(1);
    QCOMPARE(row.simplified().split(QLatin1Char(' ')).size(), 11);
    // Numbers are right-aligned under their headings, texts left-aligned.
    const auto endOf = [](const QString& line, const QString& word) {
        return line.indexOf(QLatin1Char(' ') + word) + 1 + word.size();
    };
    QCOMPARE(endOf(row, QStringLiteral("3000000000")), endOf(heading, QStringLiteral("SEQ")));
    QCOMPARE(endOf(row, QStringLiteral("86400")), endOf(heading, QStringLiteral("FREQ")));
    QCOMPARE(row.indexOf(QStringLiteral("127.0.0.1")), heading.indexOf(QStringLiteral("SOURCE")));
}

void tst_CHeadless::aSourceIsPrintedAtMostOnceASecond()
{
    UdpPeer sender;
    quint32 sequence = 0;
    QTimer burst;
    QObject::connect(&burst, &QTimer::timeout, [&] {
        for (int i = 0; i < 20; ++i)
            sender.sendTo(probeBytes(++sequence), GROUP, 9503);
    });
    burst.start(50);
    const Run run
        = runHeadless({ "--headless", "--json", "--receive", "234.5.6.7:9503", "--duration", "3" });
    QCOMPARE(run.status, 0);
    const QList<QJsonObject> rows = jsonLines(run.out);
    // A row each second at most, and the final one.
    QVERIFY2(rows.size() >= 2 && rows.size() <= 4, qPrintable(run.out));
    QVERIFY(rows.last()[QLatin1String("seq")].toInt() > 100);
}

void tst_CHeadless::aProbeJustBeforeTheStopIsInTheFinalRows()
{
    const CCommandLine parsed = options({ "--headless", "--json", "--receive", "234.5.6.7:9509" });
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    CHeadless headless(parsed, outStream, errStream);
    UdpPeer sender;
    // No turn of the event loop between the probe and the stop.
    QTimer::singleShot(200, &headless, [&] {
        QCOMPARE(sender.sendTo(probeBytes(42), GROUP, 9509), 100L);
        headless.Stop();
    });
    QCOMPARE(headless.Exec(), 0);
    const QList<QJsonObject> rows = jsonLines(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0)[QLatin1String("seq")].toInt(), 42);
}

void tst_CHeadless::bindFailureEndsTheRun()
{
    UdpPeer taken(9504, true);
    QVERIFY(taken.isValid());
    const Run run = runHeadless({ "--headless", "--receive", "234.5.6.7:9504", "--duration", "1" });
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err,
        QStringLiteral("lumivox-tool: cannot bind UDP port 9504 for 234.5.6.7:9504: Address "
                       "already in use\n"));
    QCOMPARE(run.out, QString());
}

void tst_CHeadless::refusedJoinIsToldAndTheRunGoesOn()
{
    UdpPeer sender;
    QTimer::singleShot(300, [&] { sender.sendTo(probeBytes(1), "127.0.0.1", 9505); });
    const Run run
        = runHeadless({ "--headless", "--json", "--receive", "10.0.0.1:9505", "--duration", "2" });
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.startsWith(
                 QStringLiteral("lumivox-tool: cannot join 10.0.0.1 for 10.0.0.1:9505: ")),
        qPrintable(run.err));
    QVERIFY(!jsonLines(run.out).isEmpty()); // unicast still arrives
}

void tst_CHeadless::groupsAreLeftAtTheEnd()
{
    bool memberWhileRunning = false;
    QTimer::singleShot(500, [&] { memberWhileRunning = loopbackIsMember("234.5.6.9"); });
    const Run run = runHeadless({ "--headless", "--receive", "234.5.6.9:9506", "--duration", "1" });
    QCOMPARE(run.status, 0);
    QVERIFY(memberWhileRunning);
    QVERIFY(!loopbackIsMember("234.5.6.9"));
}

void tst_CHeadless::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("starts");
    QTest::newRow("--help") << "--help"
                            << "Usage: lumivox-tool";
    QTest::newRow("-h") << "-h"
                        << "Usage: lumivox-tool";
    QTest::newRow("--version") << "--version"
                               << "lumivox-tool 1.0.0";
    QTest::newRow("-v") << "-v"
                        << "lumivox-tool 1.0.0";
}

void tst_CHeadless::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, starts);
    QProcess program;
    program.setProcessEnvironment(withoutDisplay());
    program.start(QStringLiteral(LUMIVOX_TOOL), { option });
    QVERIFY(program.waitForFinished());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QString::fromLocal8Bit(program.readAllStandardOutput()).startsWith(starts));
    QCOMPARE(program.readAllStandardError(), QByteArray());
}

void tst_CHeadless::noDisplaySaysWhatToDo()
{
    QProcess program;
    program.setProcessEnvironment(withoutDisplay());
    program.start(QStringLiteral(LUMIVOX_TOOL), {});
    QVERIFY(program.waitForFinished());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(said.count(QLatin1Char('\n')), 1);
    QVERIFY(said.contains(QLatin1String("--headless")));
    QVERIFY(said.contains(QLatin1String("xvfb-run")));
    QVERIFY(!said.contains(QLatin1String("plugin"), Qt::CaseInsensitive));
}

void tst_CHeadless::badArgumentStartsNothing()
{
    QProcess program;
    program.start(QStringLiteral(LUMIVOX_TOOL),
        { "--headless", "--receive", "234.5.6.7:9507", "--period", "0" });
    QVERIFY(program.waitForFinished());
    QCOMPARE(program.exitCode(), 2);
    QCOMPARE(program.readAllStandardError(),
        QByteArray(
            "lumivox-tool: --period takes a whole number of seconds from 1 to 86400, not \"0\"\n"));
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
    QVERIFY(!loopbackIsMember(GROUP));
}

void tst_CHeadless::stopSignalEndsCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void tst_CHeadless::stopSignalEndsCleanly()
{
    QFETCH(int, signal);
    QProcess program;
    program.start(QStringLiteral(LUMIVOX_TOOL),
        { "--headless", "--json", "--transmit", "234.5.6.8:9508", "--receive", "234.5.6.8:9508",
            "--period", "1" });
    QVERIFY(program.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT(
        (out += program.readAllStandardOutput()).contains("\"receiver\""), 5000);
    QVERIFY(loopbackIsMember("234.5.6.8"));
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    out += program.readAllStandardOutput();
    const QList<QJsonObject> lines = jsonLines(QString::fromUtf8(out));
    QVERIFY(lines.last().contains(QLatin1String("receiver"))); // the final table comes last
    QVERIFY(!loopbackIsMember("234.5.6.8"));
}

QTEST_GUILESS_MAIN(tst_CHeadless)
#include "tst_cheadless.moc"
