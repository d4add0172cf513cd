#include "core/ArrivalTiming.h"
#include "core/MembershipQuery.h"
#include "core/MeshMatrix.h"
#include "core/MeshPager.h"
#include "core/Pacer.h"
#include "core/ProbeBlock.h"
#include "core/ProbePacket.h"
#include "core/QuerierTable.h"
#include "core/SourceColumns.h"
#include "core/SourceTable.h"
#include "core/StreamProbes.h"

#include <QRegularExpression>
#include <QTest>

#include <limits>
#include <set>

// The Qt-free core: the wire format byte for byte, which peers of any version rely on, and
// counting probes into sources: what is a duplicate, what is missing, late, lost or
// stopped. That a source is its sender's and keeps its first period, the fuzzer checks.
class tst_Core : public QObject {
    Q_OBJECT

private slots:
    void init() { m_table = SourceTable(); }
    void build_data();
    void build();
    void parse_data();
    void parse();
    void blockRead_data();
    void blockRead();
    void blockKeepsTheFillerAround();
    void streamProbesStampEachSend();
    void pacer_data();
    void pacer();
    void history_data();
    void history();
    void countersPass32Bits();
    void arrivalTiming_data();
    void arrivalTiming();
    void overdueByExactPeriod_data();
    void overdueByExactPeriod();
    void capacity();
    void loss_data();
    void loss();
    void pathChanges();
    void queries_data();
    void queries();
    void queriers_data();
    void queriers();
    void meshPages_data();
    void meshPages();
    void meshReportFitsItsProbe();
    void meshTriage_data();
    void meshTriage();

private:
    std::size_t count(
        const char* address, quint16 port, std::time_t time, quint32 sequence, quint32 period = 5)
    {
        const auto bytes = ProbePacket { ProbePacket::TypeProbe, sequence, period }.build(43);
        return m_table.countProbe(bytes.data(), bytes.size(), address, port, time, time * 1000)
            .index;
    }

    SourceTable m_table;
};

static const QByteArray signature("Lumivox multicast probe packets", 32);

void tst_Core::build_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("sequence");
    QTest::addColumn<quint32>("period");
    QTest::addColumn<QByteArray>("fields"); // version, type, sequence, period, big-endian
    QTest::newRow("smallest") << 43 << 0x01020304u << 86400u
                              << QByteArray("0001 01 01020304 00015180");
    QTest::newRow("one filler byte") << 44 << 0u << 5u << QByteArray("0001 01 00000000 00000005");
    QTest::newRow("a whole signature of filler")
        << 75 << 4294967295u << 1u << QByteArray("0001 01 ffffffff 00000001");
    QTest::newRow("largest") << 1500 << 3000000000u << 1u
                             << QByteArray("0001 01 b2d05e00 00000001");
}

void tst_Core::build()
{
    QFETCH(int, size);
    QFETCH(quint32, sequence);
    QFETCH(quint32, period);
    QFETCH(QByteArray, fields);
    const auto bytes = ProbePacket { ProbePacket::TypeProbe, sequence, period }.build(size);
    const QByteArray wire(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QCOMPARE(wire.size(), size);
    QCOMPARE(wire.left(32), signature);
    QCOMPARE(wire.mid(32, 11), QByteArray::fromHex(fields));
    for (int at = 43; at < size; ++at)
        QCOMPARE(wire.at(at), signature.at((at - 43) % 32));
    const auto parsed = ProbePacket::parse(bytes.data(), bytes.size());
    QVERIFY(parsed && parsed->sequence == sequence && parsed->period == period);
    QVERIFY(ProbePacket {}.build(42).empty()); // nothing smaller than the header
}

void tst_Core::parse_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    const QByteArray probe = signature + QByteArray::fromHex("0001 01 00000007 00000005");
    const auto with
        = [&probe](int at, char byte) { return QByteArray(probe).replace(at, 1, &byte, 1); };
    QTest::newRow("probe") << probe << true;
    QTest::newRow("type 2") << with(34, 2) << true;
    QTest::newRow("type 3") << with(34, 3) << true;
    QTest::newRow("type 0") << with(34, 0) << false;
    QTest::newRow("type 4") << with(34, 4) << false;
    QTest::newRow("type -1") << with(34, char(0xff)) << false;
    QTest::newRow("version 2") << with(33, 2) << false;
    QTest::newRow("version 257") << with(32, 1) << false;
    QTest::newRow("signature's terminator") << with(31, 'x') << false;
    QTest::newRow("one byte short") << probe.chopped(1) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_Core::parse()
{
    QFETCH(QByteArray, datagram);
    const auto parsed = ProbePacket::parse(
        reinterpret_cast<const std::uint8_t*>(datagram.constData()), std::size_t(datagram.size()));
    QTEST(bool(parsed), "accepted");
    QVERIFY(!parsed || parsed->sequence == 7u);
}

// A probe of the size, plain or with a block of these entries (type, value) over its filler.
static QByteArray withBlock(
    int size, const QList<QPair<int, QByteArray>>& entries, bool plain = false)
{
    ProbeBlock block;
    for (const auto& [type, value] : entries)
        block.add(BlockEntry(type), reinterpret_cast<const std::uint8_t*>(value.data()),
            std::size_t(value.size()));
    auto bytes = ProbePacket { ProbePacket::TypeProbe, 1, 5 }.build(std::size_t(size));
    if (!plain)
        block.writeInto(bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The bytes changed at offset 43 + at, then the CRC made right again, so that only the change
// can refuse the block.
static QByteArray resealed(QByteArray probe, int at, const QByteArray& bytes)
{
    probe.replace(43 + at, bytes.size(), bytes);
    auto* block = reinterpret_cast<std::uint8_t*>(probe.data() + 43);
    const std::size_t length = std::min<std::size_t>((block[6] << 8) | block[7], probe.size() - 43);
    const std::uint32_t crc = crc32c(block, length - 4);
    for (int i = 0; i < 4; ++i)
        block[length - 4 + i] = std::uint8_t(crc >> (24 - 8 * i));
    return probe;
}

void tst_Core::blockRead_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("read"); // none, refused, or the types of the entries trusted
    const QByteArray plain = withBlock(200, {}, true);
    const QByteArray good = withBlock(200, { { 3, QByteArray(8, 1) }, { 200, "later" } });
    const QByteArray second = withBlock(200, { { 4, QByteArray(12, 2) } }).mid(43, 27);
    QTest::newRow("plain filler") << plain << "none";
    QTest::newRow("filler shifted by one") << plain.left(43) + plain.mid(44) + 'L' << "none";
    QTest::newRow("zeros") << plain.left(43) + QByteArray(157, 0) << "none";
    QTest::newRow("an entry of a later version skipped") << good << "3 200";
    QTest::newRow("no entries") << withBlock(55, {}) << "";
    QTest::newRow("cut short") << good.left(60) << "refused";
    QTest::newRow("wrong CRC") << QByteArray(good).replace(43 + 30, 1, "?") << "refused";
    QTest::newRow("unknown version") << resealed(good, 4, "\x02") << "refused";
    QTest::newRow("unknown flags") << resealed(good, 5, "\x01") << "refused";
    QTest::newRow("length below the least") << resealed(good, 6, { "\0\x0b", 2 }) << "refused";
    QTest::newRow("an entry past the block") << resealed(good, 9, { "\0\x20", 2 }) << "refused";
    QTest::newRow("a known entry too short") << resealed(good, 9, { "\0\x04", 2 }) << "refused";
    QTest::newRow("two blocks, the second filler")
        << QByteArray(good).replace(43 + 31, 27, second) << "3 200";
}

void tst_Core::blockRead()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, read);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(datagram.constData());
    const auto reading = ProbeBlock::read(bytes, std::size_t(datagram.size()));
    QStringList types;
    for (const auto& entry : reading.entries) {
        types << QString::number(entry.type);
        QVERIFY(entry.value >= bytes && entry.value + entry.length <= bytes + datagram.size());
    }
    const bool refused = reading.outcome == ProbeBlock::Reading::Refused;
    QCOMPARE(reading.outcome == ProbeBlock::Reading::None ? "none"
            : refused                                     ? "refused"
                                                          : types.join(' '),
        read);
    // Counted as a probe all the same, the refusal counted beside it.
    QVERIFY(m_table.countProbe(bytes, std::size_t(datagram.size()), "10.0.0.1", 5000, 1, 1000));
    QCOMPARE(m_table.blocksRefused(), quint64(refused));
}

// A block changes no byte of the filler outside it, and a probe too small carries none.
void tst_Core::blockKeepsTheFillerAround()
{
    const QByteArray plain = withBlock(100, {}, true);
    const QByteArray carrying = withBlock(100, { { 1, QByteArray(20, 'm') } });
    const int length = 8 + 3 + 20 + 4;
    QCOMPARE(carrying.left(43), plain.left(43));
    QCOMPARE(carrying.mid(43 + length), plain.mid(43 + length));
    QCOMPARE(withBlock(43 + length - 1, { { 1, QByteArray(20, 'm') } }),
        withBlock(43 + length - 1, {}, true));
}

// A stream's prebuilt probe, stamped again for each send, is a whole probe with a trusted
// block, and so is any start of it a random size cuts.
void tst_Core::streamProbesStampEachSend()
{
    StreamProbes probes(2, 1500, { 2'500'000, 4, 1 });
    const QByteArray plain = withBlock(1500, {}, true);
    for (const auto& [sequence, sentAt] : { std::pair(7u, 1'700'000'000'123'456'789LL),
             std::pair(8u, 1'700'000'000'123'456'790LL) }) {
        const std::uint8_t* bytes = probes.stamp(1, ProbePacket::TypeStopping, sequence, sentAt);
        for (std::size_t size : { std::size_t(1500), StreamProbes::MinimumSize }) {
            const auto probe = ProbePacket::parse(bytes, size);
            QVERIFY(probe);
            QCOMPARE(probe->sequence, sequence);
            QCOMPARE(probe->type, ProbePacket::TypeStopping);
            QCOMPARE(probe->period, 1u);
            const auto reading = ProbeBlock::read(bytes, size);
            QCOMPARE(reading.entries.size(), std::size_t(2));
            const QByteArray sendTime(reinterpret_cast<const char*>(reading.entries[0].value), 8);
            QCOMPARE(sendTime.toHex().toLongLong(nullptr, 16), sentAt);
            QCOMPARE(
                QByteArray(reinterpret_cast<const char*>(reading.entries[1].value), 12).toHex(),
                "00000000002625a000000004");
        }
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes) + 81, 1500 - 81), plain.mid(81));
    }
}

// Arrivals as (send time, arrival, numbers missed before it) in µs, a period of 1 ms;
// arrival times are counted from the epoch's second 1,700,000,000.
void tst_Core::arrivalTiming_data()
{
    QTest::addColumn<QList<qint64>>("arrivals");
    QTest::addColumn<QString>("jitterUs"); // none without send times
    QTest::addColumn<QString>("outages"); // longest in µs, then the four buckets
    QTest::addColumn<double>("rate"); // a tenth of a second after the last arrival
    QTest::addColumn<QString>("delayUs"); // min median max, where the clocks agree
    QTest::newRow("steady") << QList<qint64> { 0, 100, 0, 1000, 1100, 0, 2000, 2100, 0 } << "0.0"
                            << "0 0 0 0 0" << 3.0 << "100 100 100";
    // RFC 3550: J += (|D| - J) / 16; D = 200, then -200: 12.5, then 24.21875.
    QTest::newRow("transit moves")
        << QList<qint64> { 0, 100, 0, 1000, 1300, 0, 2000, 2100, 0 } << "24.2"
        << "0 0 0 0 0" << 3.0 << "100 100 300";
    QTest::newRow("a 50 ms gap") << QList<qint64> { 0, 100, 0, 50000, 50100, 49 } << "0.0"
                                 << "49000 0 1 0 0" << 2.0 << "100 100 100";
    QTest::newRow("gaps of each length") << QList<qint64> { 0, 0, 0, 3000, 3000, 2, 1'004'000,
        1'004'000, 999, 1'505'000, 1'505'000, 500, 1'506'000, 1'506'000, 0 }
                                         << "0.0"
                                         << "1000000 1 0 1 1" << 3.0 << "0 0 0";
    QTest::newRow("no send times") << QList<qint64> { 0, 100, 0, 0, 1300, 0 } << "none"
                                   << "0 0 0 0 0" << 2.0 << "100 100 100";
    QTest::newRow("a clock set is no jitter")
        << QList<qint64> { 0, 100, 0, 1000, 1100, 0, 3'002'000, 2100, 0, 3'003'000, 3100, 0 }
        << "0.0"
        << "0 0 0 0 0" << 4.0 << "-2999900 100 100";
}

void tst_Core::arrivalTiming()
{
    QFETCH(QList<qint64>, arrivals);
    ArrivalTiming timing;
    constexpr qint64 epoch = 1'700'000'000'000'000'000;
    for (qsizetype i = 0; i < arrivals.size(); i += 3)
        timing.arrived(epoch + arrivals[i + 1] * 1000,
            arrivals[i] || !i ? epoch + arrivals[i] * 1000 : 0, quint64(arrivals[i + 2]), 1'000'000,
            true);
    const auto jitter = timing.jitterMs();
    QTEST(jitter ? QString::number(*jitter * 1000, 'f', 1) : QStringLiteral("none"), "jitterUs");
    QStringList outages { QString::number(timing.longestOutageNs() / 1000) };
    for (const quint64 count : timing.outages())
        outages << QString::number(count);
    QTEST(outages.join(' '), "outages");
    const qint64 last = epoch + arrivals[arrivals.size() - 2] * 1000;
    QTEST(timing.rate(last + 100'000'000), "rate"); // the second that ended since
    QCOMPARE(timing.rate(last + 1'200'000'000), 0.0);
    const auto delay = timing.delay();
    QVERIFY(delay);
    QTEST(QStringLiteral("%1 %2 %3")
              .arg(qRound64(delay->minMs * 1000))
              .arg(qRound64(delay->medianMs * 1000))
              .arg(qRound64(delay->maxMs * 1000)),
        "delayUs");
}

// A stream's numbers fall overdue by the exact period its blocks tell, to the nanosecond,
// however short: a number every 500 µs, in bursts or alone.
void tst_Core::overdueByExactPeriod_data()
{
    QTest::addColumn<qint64>("periodNs"); // of the bursts
    QTest::addColumn<quint32>("burst");
    QTest::addColumn<qint64>("silentMs"); // past the latency
    QTest::addColumn<quint64>("overdue");
    QTest::addColumn<qint64>("nextDueMs"); // past the latency, after the last arrival
    QTest::newRow("500 µs, none yet")
        << qint64(500'000) << 1u << qint64(0) << quint64(0) << qint64(1);
    QTest::newRow("500 µs, 7 ms") << qint64(500'000) << 1u << qint64(7) << quint64(14) << qint64(8);
    QTest::newRow("bursts of 10 each 10 ms")
        << qint64(10'000'000) << 10u << qint64(7) << quint64(7) << qint64(8);
    QTest::newRow("the header's second")
        << qint64(0) << 1u << qint64(2500) << quint64(2) << qint64(3000);
}

void tst_Core::overdueByExactPeriod()
{
    QFETCH(qint64, periodNs);
    QFETCH(quint32, burst);
    QFETCH(qint64, silentMs);
    const LossRules rules { 2000, 1'000'000 };
    ProbeTiming timing { 0, 0, periodNs, burst, false };
    Source source("10.0.0.1", 5000, 0, 100, 1, 1, false, timing);
    source.checkOverdue(100 + 2000 + silentMs, rules);
    QTEST(quint64(source.consecutiveMissed), "overdue");
    QTEST(qint64(source.nextDueMs(rules) - 100 - 2000), "nextDueMs");
}

constexpr std::int64_t Day = 86'400'000'000'000; // ns

// A fake clock's passes, each sending what is due up to a batch: steps of (time in µs,
// batch, probes sent at that time in batch after batch).
void tst_Core::pacer_data()
{
    QTest::addColumn<quint32>("rate"); // 0 for one burst a period of 5 s
    QTest::addColumn<quint32>("burst");
    QTest::addColumn<QList<qint64>>("steps");
    QTest::addColumn<quint64>("late");
    QTest::addColumn<qint64>("worstLagUs");
    QTest::addColumn<qint64>("nextDueUs");
    const qint64 day = Day / 1000;
    QTest::newRow("on time") << 1000u << 1u << QList<qint64> { 0, 8, 1, 999, 8, 0, 1000, 8, 1 }
                             << quint64(0) << qint64(0) << qint64(2000);
    QTest::newRow("a third of a second never drifts")
        << 3u << 1u << QList<qint64> { 0, 8, 1, 999'999, 8, 2, 1'000'000, 8, 1, day, 9, 259'197 }
        << quint64(259'198) << day - 1'333'334 << day + 333'333;
    QTest::newRow("a million a second for a day")
        << 1'000'000u << 1u << QList<qint64> { 0, 128, 1, day - 1, 100'000'000'000, 86'399'999'999 }
        << quint64(86'399'998'999) << day - 2 << day;
    QTest::newRow("bursts of ten")
        << 1000u << 10u << QList<qint64> { 0, 4, 10, 9'999, 4, 0, 10'000, 4, 10 } << quint64(0)
        << qint64(0) << qint64(20'000);
    QTest::newRow("behind, it catches up in batches")
        << 1000u << 1u << QList<qint64> { 0, 16, 1, 50'000, 16, 50, 50'500, 16, 0, 51'000, 16, 1 }
        << quint64(49) << qint64(49'000) << qint64(52'000);
    QTest::newRow("a burst each period")
        << 0u << 3u << QList<qint64> { 0, 8, 3, 4'999'999, 8, 0, 5'000'000, 2, 3 } << quint64(0)
        << qint64(0) << qint64(10'000'000);
}

void tst_Core::pacer()
{
    QFETCH(quint32, rate);
    QFETCH(quint32, burst);
    QFETCH(QList<qint64>, steps);
    Pacer pacer = rate ? Pacer::atRate(rate, burst) : Pacer::everyPeriod(5, burst);
    pacer.startAt(1000); // any start: the schedule counts from it
    for (qsizetype i = 0; i < steps.size(); i += 3) {
        const std::int64_t now = 1000 + steps[i] * 1000;
        std::uint64_t sent = 0;
        while (const std::uint64_t due = pacer.due(now)) {
            const std::uint64_t batch = std::min<std::uint64_t>(due, std::uint64_t(steps[i + 1]));
            pacer.sent(batch, now);
            sent += batch;
        }
        QCOMPARE(qint64(sent), steps[i + 2]);
    }
    QTEST(quint64(pacer.lateProbes()), "late");
    QTEST(qint64(pacer.takeWorstLagNs() / 1000), "worstLagUs");
    QTEST(qint64((pacer.nextDueNs() - 1000) / 1000), "nextDueUs");
    // Paused, a stream resumes owing nothing for the pause.
    pacer.startAt(10 * Day);
    QCOMPARE(pacer.due(10 * Day), std::uint64_t(burst));
}

void tst_Core::history_data()
{
    QTest::addColumn<QList<quint32>>("arrivals");
    QTest::addColumn<quint32>("lastSequence");
    QTest::addColumn<quint64>("duplicates");
    QList<quint32> wrapped;
    for (quint32 n = 1; n <= 1024; ++n)
        wrapped << n;
    QTest::newRow("repeats") << QList<quint32> { 1, 2, 2, 1 } << 2u << quint64(2);
    QTest::newRow("1024 remembered") << wrapped + QList<quint32> { 1 } << 1024u << quint64(1);
    QTest::newRow("the oldest forgotten")
        << wrapped + QList<quint32> { 1025, 1 } << 1u << quint64(0);
    QTest::newRow("32-bit numbers")
        << QList<quint32> { 4294967295u, 3000000000u, 4294967295u } << 3000000000u << quint64(1);
    QTest::newRow("across the wrap")
        << QList<quint32> { 4294967295u, 0, 1, 0, 4294967295u } << 1u << quint64(2);
}

void tst_Core::history()
{
    QFETCH(QList<quint32>, arrivals);
    for (quint32 sequence : arrivals)
        QCOMPARE(count("10.0.0.1", 5000, 1, sequence), 0u);
    QCOMPARE(m_table.size(), 1u);
    QTEST(m_table.at(0).lastSequence, "lastSequence");
    QTEST(quint64(m_table.at(0).duplicates), "duplicates");
}

// A stream of 100,000 probes a second passes 2^32 in half a day; jumps of half the numbers
// get there at once.
void tst_Core::countersPass32Bits()
{
    Source source("10.0.0.1", 5000, 0, 0, 5, 1);
    source.duplicates = std::numeric_limits<quint32>::max();
    source.count(1, 1000, 1, {});
    for (const quint32 jumpTo : { 0x80000000u, 0xFFFFFFFFu, 0x7FFFFFF6u })
        source.count(2, 2000, jumpTo, {});
    QCOMPARE(source.duplicates, quint64(1) << 32);
    QCOMPARE(source.totalMissed, quint64(2147483646) * 2 + 2147483638);
    QCOMPARE(cellText(source, columnInfo(SourceColumn::TotalMissed)), "6442450930");
}

// A full table refuses new sources, and says so at the first and then once a minute; the
// source silent longest gives way, in its own place, once silent long enough.
void tst_Core::capacity()
{
    constexpr auto refused = SourceTable::NotCounted;
    m_table.setCapacity(2, 10'000);
    QCOMPARE(count("10.0.0.1", 5000, 0, 1), 0u);
    QCOMPARE(count("10.0.0.2", 5000, 1, 1), 1u);
    QCOMPARE(count("10.0.0.3", 5000, 2, 1), refused);
    QVERIFY(m_table.refusalsDue(2000));
    QCOMPARE(count("10.0.0.4", 5000, 9, 1), refused); // 10.0.0.1 silent 9 s
    QVERIFY(!m_table.refusalsDue(9000));
    QCOMPARE(count("10.0.0.1", 5000, 10, 2), 0u); // known sources go on being counted
    QCOMPARE(count("10.0.0.5", 5000, 11, 1), 1u); // 10.0.0.2 silent 10 s
    QCOMPARE(m_table.at(1).address, std::string("10.0.0.5"));
    QCOMPARE(m_table.gaveWay().address + ':' + std::to_string(m_table.gaveWay().silentMs),
        std::string("10.0.0.2:10000"));
    QCOMPARE(count("10.0.0.2", 5000, 12, 2), refused); // a stranger now
    QCOMPARE(m_table.refused(), 3u);
    QVERIFY(!m_table.refusalsDue(61'999));
    QVERIFY(m_table.refusalsDue(62'000));
    QCOMPARE(m_table.size(), 2u);
}

void tst_Core::loss_data()
{
    QTest::addColumn<QString>("arrivals"); // number@second, number!@second the stopping message
    QTest::addColumn<double>("readAt");
    QTest::addColumn<QList<quint64>>("counters"); // Total RX and Miss, Cons. RX and Miss, Late
    QTest::addColumn<QString>("cells"); // Loss %, State
    QTest::addColumn<QString>("events"); // lost at the second, recovered after seconds silent
    // The recent marks, oldest first: received, - missing, late, duplicate; -{58} repeats.
    QTest::addColumn<QString>("recent");
    QTest::addColumn<quint32>("period"); // the one every probe advertises
    const struct {
        const char* name;
        const char* arrivals;
        double readAt;
        QList<quint64> counters;
        const char* cells;
        const char* events;
        const char* recent;
        quint32 period = 1;
    } rows[] = { { "all", "1@0 2@1 3@2 4@3 5@4", 4.5, { 5, 0, 5, 0, 0 }, "0.0 OK", "", "rrrrr" },
        { "a gap", "1@0 2@1 5@4 6@5", 5.5, { 4, 2, 2, 0, 0 }, "33.3 OK", "", "rr--rr" },
        { "late", "1@0 2@1 4@3 3@3.5", 4, { 4, 0, 2, 0, 1 }, "0.0 OK", "", "rrlr" },
        { "overdue", "1@0 2@1 3@2", 6.5, { 3, 2, 0, 2, 0 }, "40.0 OK", "", "rrr--" },
        { "lost", "1@0 2@1 3@2", 7.5, { 3, 3, 0, 3, 0 }, "50.0 Lost", "lost 7", "rrr---" },
        { "paused", "1@0 2@1 3@2 4@9.2", 9.5, { 4, 0, 1, 0, 0 }, "0.0 OK", "lost 7 recovered 7",
            "rrrr" },
        { "an arrival finds it past its threshold", "1@0 2@1 3@2 4@7", 7.5, { 4, 0, 1, 0, 0 },
            "0.0 OK", "lost 7 recovered 5", "rrrr" },
        { "outage", "1@0 2@1 3@2 9@8.5", 9, { 4, 5, 1, 0, 0 }, "55.6 OK", "lost 7 recovered 6",
            "rrr-----r" },
        { "a gap longer than the strip", "1@0 100@1 101@2", 2.5, { 3, 98, 2, 0, 0 }, "97.0 OK", "",
            "-{58}rr" },
        { "wrapping", "4294967294@0 4294967295@1 1@3", 3.5, { 3, 1, 1, 0, 0 }, "25.0 OK", "",
            "rr-r" },
        { "first number 0", "0@0 1@1 2@2", 2.5, { 3, 0, 3, 0, 0 }, "0.0 OK", "", "rrr" },
        { "0 after the highest", "4294967295@0 0@1 1@2", 2.5, { 3, 0, 3, 0, 0 }, "0.0 OK", "",
            "rrr" },
        { "stopped", "1@0 2@1 3@2 4!@3", 20, { 4, 0, 4, 0, 0 }, "0.0 Stopped", "stopped", "rrrr" },
        { "resumed", "1@0 2@1 3@2 4!@3 5@25", 25.5, { 5, 0, 5, 0, 0 }, "0.0 OK", "stopped resumed",
            "rrrrr" },
        { "late and repeated after the stop", "1@0 3@1 4!@2 2@3 4@4", 20, { 4, 0, 3, 0, 1 },
            "0.0 Stopped", "stopped", "rlrd" },
        { "a stopping message ends an outage", "1@0 2@1 3@2 4!@9", 20, { 4, 0, 1, 0, 0 },
            "0.0 Stopped", "lost 7 recovered 7 stopped", "rrrr" },
        { "a late stopping message is old news", "1@0 3@1 2!@2", 20, { 3, 17, 0, 17, 1 },
            "85.0 Lost", "lost 6", "rlr---" },
        { "a period beyond a day is taken as a day", "1@0", 86403, { 1, 1, 0, 1, 0 }, "50.0 OK", "",
            "r-", ~0u } };
    for (const auto& row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.arrivals) << row.readAt << row.counters
                                << QString::fromLatin1(row.cells) << QString::fromLatin1(row.events)
                                << QString::fromLatin1(row.recent) << row.period;
}

// The counters as a tick every quarter of a second reads them, arrivals between.
void tst_Core::loss()
{
    QFETCH(QString, arrivals);
    QFETCH(double, readAt);
    QFETCH(QList<quint64>, counters);
    QFETCH(QString, cells);
    QFETCH(QString, events);
    QFETCH(QString, recent);
    QFETCH(quint32, period);
    QStringList pending = arrivals.split(' ');
    QStringList told;
    const auto lostAt = [this](std::size_t index) {
        return QString::number(double(m_table.at(index).lastLoss().atMs) / 1000);
    };
    for (std::int64_t now = 0; now <= std::int64_t(readAt * 1000); now += 250) {
        while (!pending.isEmpty() && pending.first().section('@', 1).toDouble() * 1000 <= now) {
            const QString arrival = pending.takeFirst();
            const QString number = arrival.section('@', 0, 0);
            const auto bytes = ProbePacket { std::int8_t(number.endsWith('!') ? 2 : 1),
                number.chopped(number.endsWith('!')).toUInt(), period }
                                   .build(43);
            const auto counted = m_table.countProbe(bytes.data(), bytes.size(), "10.0.0.1", 5000, 0,
                std::int64_t(arrival.section('@', 1).toDouble() * 1000));
            if (counted.arrival.lost)
                told << "lost" << lostAt(counted.index);
            if (counted.arrival.recovered)
                told << "recovered" << QString::number(counted.arrival.silentForMs / 1000);
            if (counted.arrival.stopped)
                told << "stopped";
            if (counted.arrival.resumed)
                told << "resumed";
        }
        m_table.checkOverdue(now, [&](std::size_t index, bool becameLost) {
            if (becameLost)
                told << "lost" << lostAt(index);
        });
    }
    const Source& source = m_table.at(0);
    QCOMPARE((QList<quint64> { source.totalReceived, source.totalMissed, source.consecutiveReceived,
                 source.consecutiveMissed, source.late }),
        counters);
    QCOMPARE(QString::fromStdString(cellText(source, columnInfo(SourceColumn::LossPercent)) + ' '
                 + cellText(source, columnInfo(SourceColumn::State))),
        cells);
    QCOMPARE(told.join(' '), events);
    QCOMPARE(int(source.outages), told.count("lost"));
    QString marks;
    for (int place = 0; place < RecentMarks::Size; ++place)
        marks += QString("-rld ").at(int(source.recent.at(place)));
    marks = marks.trimmed();
    const QRegularExpressionMatch repeat = QRegularExpression("(.)\\{(\\d+)\\}").match(recent);
    if (repeat.hasMatch())
        recent.replace(repeat.capturedStart(), repeat.capturedLength(),
            repeat.captured(1).repeated(repeat.captured(2).toInt()));
    QCOMPARE(marks, recent);
}

// A path that changes is told from one known TTL to another, at most once a minute a source.
void tst_Core::pathChanges()
{
    const auto bytes = ProbePacket { 1, 1, 1 }.build(43);
    const std::pair<std::int64_t, int> arrivals[] // at, with the TTL
        = { { 0, -1 }, { 1000, 64 }, { 2000, 61 }, { 30000, 64 }, { 62000, 60 } };
    QList<int> told;
    for (const auto& [atMs, ttl] : arrivals)
        told << m_table.countProbe(bytes.data(), bytes.size(), "10.0.0.1", 5000, 0, atMs, ttl)
                    .pathChangedFrom;
    QCOMPARE(told, (QList<int> { -1, -1, 64, -1, 64 }));
}

// Queries as Linux's bridge sends them (captured), and made from them: only a well-formed
// query counts, as anyone on the link can send IGMP and MLD.
void tst_Core::queries_data()
{
    QTest::addColumn<bool>("mld");
    QTest::addColumn<QByteArray>("packet"); // IGMP with its IPv4 header, MLD without
    QTest::addColumn<int>("hopLimit"); // MLD's, and whether a Router Alert came
    QTest::addColumn<bool>("routerAlert");
    QTest::addColumn<QString>("read"); // version, scope, interval, robustness, response time
    const auto ipv4 = [](const char* hex) { return QByteArray::fromHex(hex); };
    const QByteArray v2 = ipv4("46c00020000040000102f9c80a4d0001e000000194040000110aeef500000000");
    const QByteArray mld2 = ipv4("8200004c03e800000000000000000000000000000000000002020000");
    QTest::newRow("IGMPv2") << false << v2 << 0 << false << "v2 general 125 s x2 1000 ms";
    QTest::newRow("IGMPv3") << false
                            << ipv4("46c00024000040000102f9c40a4d0001e00000019404000011"
                                    "0aecf30000000002020000")
                            << 0 << false << "v3 general 2 s x2 1000 ms";
    QTest::newRow("IGMPv1") << false
                            << ipv4("45c0001c0000400001028ed10a4d0001e00000011100eeff00000000") << 0
                            << false << "v1 general 125 s x2 10000 ms";
    QTest::newRow("IGMPv2 for a group")
        << false << ipv4("46c00020000040000102e9bb0a4d0001ea05060994040000110afee6ea050609") << 0
        << false << "v2 group 125 s x2 1000 ms";
    QTest::newRow("IGMPv3 codes") << false
                                  << ipv4("46c00024000040000102f9c40a4d0001e00000019404000011"
                                          "64eb0f00000000038c0000")
                                  << 0 << false << "v3 general 224 s x3 10000 ms";
    QTest::newRow("MLDv1") << true << ipv4("8200f18403e8000000000000000000000000000000000000") << 1
                           << true << "v1 general 125 s x2 1000 ms";
    QTest::newRow("MLDv2") << true << mld2 << 1 << true << "v2 general 2 s x2 1000 ms";
    QTest::newRow("TTL 2")
        << false << ipv4("46c00020000040000202f8c80a4d0001e000000194040000110aeef500000000") << 0
        << false << "";
    QTest::newRow("IGMPv2 without Router Alert")
        << false << ipv4("45c0001c0000400001028ed10a4d0001e0000001110aeef500000000") << 0 << false
        << "";
    QTest::newRow("a wrong checksum")
        << false << QByteArray(v2).replace(26, 1, "\xef") << 0 << false << "";
    QTest::newRow("a report") << false
                              << ipv4("46c00020000040000102f9c80a4d0001e000000194040000160"
                                      "0f9f0ea050609")
                              << 0 << false << "";
    QTest::newRow("10 bytes of IGMP") << false
                                      << ipv4("46c00022000040000102f9c60a4d0001e0000001940400001"
                                              "10aecf3000000000202")
                                      << 0 << false << "";
    QTest::newRow("a source counted, not sent")
        << false << ipv4("46c00024000040000102f9c40a4d0001e000000194040000110aecf20000000002020001")
        << 0 << false << "";
    QTest::newRow("truncated IPv4 header") << false << v2.left(19) << 0 << false << "";
    QTest::newRow("MLD from a router away") << true << mld2 << 255 << true << "";
    QTest::newRow("MLD without Router Alert") << true << mld2 << 1 << false << "";
    QTest::newRow("MLDv2 with a source missing")
        << true << QByteArray(mld2).replace(27, 1, "\x01") << 1 << true << "";
}

void tst_Core::queries()
{
    QFETCH(bool, mld);
    QFETCH(QByteArray, packet);
    QFETCH(int, hopLimit);
    QFETCH(bool, routerAlert);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet.constData());
    const auto query = mld
        ? MembershipQuery::parseMld(bytes, std::size_t(packet.size()), hopLimit, routerAlert)
        : MembershipQuery::parseIgmp(bytes, std::size_t(packet.size()));
    QTEST(query ? QStringLiteral("v%1 %2 %3 s x%4 %5 ms")
                      .arg(query->version)
                      .arg(query->general ? "general" : "group")
                      .arg(query->intervalSeconds)
                      .arg(query->robustness)
                      .arg(query->maxResponseMs)
                : QString(),
        "read");
}

// The querier a link has, as the protocols elect it, heard from a receiver that watches from
// 0 s: every query says 10 s between queries and 2 for robustness, so it is present 25 s.
void tst_Core::queriers_data()
{
    QTest::addColumn<QString>("queries"); // address@second, "group" for a query about one group
    QTest::addColumn<int>("readAt");
    QTest::addColumn<QString>("read"); // the querier, present, gone, overdue, and queries heard
    QTest::newRow("the lowest address wins")
        << "10.0.0.2@0 10.0.0.1@1 10.0.0.3@2" << 3 << "10.0.0.1 present 3";
    QTest::newRow("a group query elects nobody")
        << "10.0.0.2@0 10.0.0.1@1group" << 3 << "10.0.0.2 present 2";
    QTest::newRow("no address only while none other is heard")
        << "0.0.0.0@0 10.0.0.9@1 0.0.0.0@2" << 3 << "10.0.0.9 present 3";
    QTest::newRow("no address, alone") << "0.0.0.0@0" << 3 << "0.0.0.0 present 1";
    QTest::newRow("a higher one takes over from one gone")
        << "10.0.0.1@0 10.0.0.2@26" << 27 << "10.0.0.2 present 2";
    QTest::newRow("a query overdue, the querier still present")
        << "10.0.0.1@0" << 11 << "10.0.0.1 present overdue 1";
    QTest::newRow("gone") << "10.0.0.1@0" << 25 << "10.0.0.1 gone overdue 1";
    QTest::newRow("none heard for an interval") << "" << 126 << "none overdue 0";
    QTest::newRow("none heard for as long as the protocols wait")
        << "" << 255 << "none gone overdue 0";
}

void tst_Core::queriers()
{
    QFETCH(QString, queries);
    QFETCH(int, readAt);
    MembershipQuery query;
    query.version = 3;
    query.intervalSeconds = 10;
    query.maxResponseMs = 10'000;
    QuerierTable table;
    for (const QString& heard : queries.split(' ', Qt::SkipEmptyParts)) {
        QuerierAddress from;
        const QStringList bytes = heard.section('@', 0, 0).split('.');
        for (int i = 0; i < 4; ++i)
            from.bytes[std::size_t(i)] = std::uint8_t(bytes[i].toUInt());
        query.general = !heard.endsWith("group");
        table.heard(1, from, query, heard.section('@', 1).toInt() * 1000, 0);
    }
    const std::int64_t now = readAt * 1000;
    QString read = "none";
    if (const auto* querier = table.querier(1, false)) {
        const auto& bytes = querier->address.bytes;
        read = QString("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
    }
    read += table.isPresent(1, false, now) ? " present" : "";
    read += table.isGone(1, false, 0, now) ? " gone" : "";
    read += table.isQueryOverdue(1, false, 0, now) ? " overdue" : "";
    QTEST(read + ' ' + QString::number(table.queries(1, false)), "read");
}

// A member's view in pages: with changes first, within the half of a page kept for them,
// a change goes in the next probe; and every entry is told within its bound, however much
// changes.
void tst_Core::meshPages_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("changing"); // entries whose state flips before each probe
    QTest::newRow("all in one probe") << 5 << 10 << 0;
    QTest::newRow("a tenth a probe") << 100 << 10 << 0;
    QTest::newRow("changes within the half kept for them") << 100 << 10 << 5;
    QTest::newRow("more changes than a page") << 100 << 10 << 40;
    QTest::newRow("two a probe, one flapping") << 9 << 2 << 1;
    QTest::newRow("a thousand members") << 1000 << 43 << 3;
}

void tst_Core::meshPages()
{
    QFETCH(int, view);
    QFETCH(int, fit);
    QFETCH(int, changing);
    std::vector<HeardEntry> entries(static_cast<std::size_t>(view));
    for (int i = 0; i < view; ++i)
        entries[std::size_t(i)].id = std::uint64_t(1000 + i);
    const int bound = (view + fit / 2 - 1) / (fit / 2);
    std::vector<int> lastTold(std::size_t(view), -1);
    MeshPager pager;
    for (int probe = 0; probe < 4 * bound; ++probe) {
        std::set<std::uint64_t> changed;
        for (int c = 0; c < changing; ++c) {
            HeardEntry& entry = entries[std::size_t(c * 7919 % view)];
            entry.state = entry.state == PairState::Ok ? PairState::Lost : PairState::Ok;
            changed.insert(entry.id);
        }
        const auto page = pager.nextPage(entries, std::size_t(fit));
        QVERIFY(page.size() <= std::size_t(fit));
        for (const HeardEntry& entry : page) {
            QCOMPARE(entry.state, entries[entry.id - 1000].state);
            lastTold[entry.id - 1000] = probe;
            changed.erase(entry.id);
        }
        if (probe >= bound && changing <= fit - fit / 2)
            QVERIFY2(changed.empty(), qPrintable(QString("probe %1").arg(probe)));
        for (int i = 0; probe >= bound - 1 && i < view; ++i)
            QVERIFY2(probe - lastTold[std::size_t(i)] < bound,
                qPrintable(QString("entry %1 at probe %2").arg(i).arg(probe)));
    }
}

// As many entries as entriesThatFit() says go in a probe of that size with the longest name
// and a signature, one more does not; and what is read back is what was written.
void tst_Core::meshReportFitsItsProbe()
{
    MemberReport report;
    report.id = 0x0102030405060708u;
    report.name = MemberReport::shortName(std::string(31, 'n') + "\xc3\xa9"); // é cut whole
    QCOMPARE(report.name, std::string(31, 'n'));
    report.name += 'm';
    report.ttl = 16;
    report.querier[15] = 1;
    report.ok = 3;
    report.lost = 1;
    const std::size_t size = MemberReport::minimumProbeSize() + 3 * HeardEntry::Size;
    const std::size_t fit = MemberReport::entriesThatFit(size, report.name.size(), true);
    QCOMPARE(fit, std::size_t(5));
    for (std::size_t i = 0; i <= fit; ++i)
        report.heard.push_back({ i + 1, PairState::Lost, 50, 10, 1u << 31, 7, 250 });
    ProbeBlock tooMany;
    report.encode(tooMany, 99, true);
    auto probe = ProbePacket { 1, 1, 1 }.build(size);
    QVERIFY(!tooMany.writeInto(probe));
    report.heard.pop_back();
    ProbeBlock block;
    report.encode(block, 99, true);
    QVERIFY(block.writeInto(probe));
    const auto read = MemberReport::decode(ProbeBlock::read(probe.data(), probe.size()));
    QVERIFY(read && read->signature);
    QCOMPARE(read->name, report.name);
    QCOMPARE(read->signature->runId, std::uint64_t(99));
    QCOMPARE(read->signature->signedBytes, block.size() - ProbeBlock::CrcSize - 32);
    QCOMPARE(std::make_tuple(read->id, read->ttl, read->querier, read->ok, read->lost),
        std::make_tuple(report.id, report.ttl, report.querier, report.ok, report.lost));
    QCOMPARE(read->heard.size(), fit);
    const HeardEntry& last = read->heard.back();
    QCOMPARE(std::make_tuple(last.id, last.state, last.recentReceived, last.recentMissing,
                 last.totalReceived, last.totalMissing, last.receivedTtl),
        std::make_tuple(std::uint64_t(fit), PairState::Lost, std::uint8_t(50), std::uint8_t(10),
            1u << 31, 7u, std::uint8_t(250)));
}

// Members a to d, each row what its member reports: o OK, X lost, . never; a row is stale
// when its member is, and a member first heard a second ago is warming up.
void tst_Core::meshTriage_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("stale");
    QTest::addColumn<QString>("warming");
    QTest::addColumn<QString>("triage");
    const QString none = "no one: ; by no one: ; some: ; warming: ";
    QTest::newRow("all hear all") << QStringList { "-ooo", "o-oo", "oo-o", "ooo-" } << ""
                                  << "" << none;
    QTest::newRow("one hears no one") << QStringList { "-ooo", "o-oo", "oo-o", "XXX-" } << ""
                                      << ""
                                      << "no one: d; by no one: ; some: ; warming: ";
    QTest::newRow("no one hears one") << QStringList { "-oXo", "o-Xo", "oo-o", "ooX-" } << ""
                                      << ""
                                      << "no one: ; by no one: c; some: a b d; warming: ";
    QTest::newRow("a stale row speaks for no one")
        << QStringList { "-o.o", "o-oo", "oo-o", "oo.-" } << "b"
        << ""
        << "no one: ; by no one: c; some: ; warming: ";
    QTest::newRow("warming up is left out") << QStringList { "-oo.", "o-o.", "oo-.", "...-" } << ""
                                            << "d"
                                            << "no one: ; by no one: ; some: ; warming: d";
}

void tst_Core::meshTriage()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, stale);
    QFETCH(QString, warming);
    const std::int64_t now = 100'000;
    MeshMatrix matrix(10);
    for (int row = 0; row < rows.size(); ++row) {
        const std::size_t member = matrix.member(std::uint64_t(row + 1));
        MemberReport report;
        report.name = std::string(1, char('a' + row));
        report.ok = std::uint16_t(rows[row].count('o'));
        report.lost = std::uint16_t(rows[row].count('X'));
        report.querier[0] = 1;
        const std::int64_t heardAt = stale.contains(report.name[0]) ? now - 4000 : now;
        const bool warm = warming.contains(report.name[0]);
        matrix.heard(member, report, "10.0.0.1", 5000, 1000, warm ? now - 1000 : 0);
        matrix.heard(member, report, "10.0.0.1", 5000, 1000, heardAt);
        std::vector<HeardEntry> page;
        for (int column = 0; column < rows[row].size(); ++column) {
            const QChar mark = rows[row][column];
            if (mark == 'o' || mark == 'X')
                page.push_back({ std::uint64_t(column + 1),
                    mark == 'o' ? PairState::Ok : PairState::Lost, 60, 0, 60, 0, 0 });
        }
        matrix.applyPage(member, page, now);
    }
    const MeshMatrix::Triage triage = matrix.triage(now);
    const auto names = [&matrix](const std::vector<std::size_t>& members) {
        QStringList list;
        for (std::size_t member : members)
            list << QString::fromStdString(matrix.nameOf(member));
        return list.join(' ');
    };
    QVERIFY(triage.noQuerier.empty());
    QTEST(QString("no one: %1; by no one: %2; some: %3; warming: %4")
              .arg(names(triage.hearNoOne), names(triage.heardByNoOne), names(triage.hearSome),
                  names(triage.warmingUp)),
        "triage");
}

QTEST_APPLESS_MAIN(tst_Core)
#include "tst_core.moc"
