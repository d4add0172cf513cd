#include "core/ProbePacket.h"
#include "core/SourceTable.h"

#include <QTest>

#include <limits>

// The Qt-free core: the wire format byte for byte, which peers of any version rely on, and
// counting probes into sources: what is a duplicate, what a source keeps, which row changes.
class tst_Core : public QObject {
    Q_OBJECT

private slots:
    void init() { m_table = SourceTable(); }
    void build_data();
    void build();
    void parse_data();
    void parse();
    void history_data();
    void history();
    void sources();
    void duplicatesSaturate();
    void capacity();
    void loss_data();
    void loss();

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

void tst_Core::history_data()
{
    QTest::addColumn<QList<quint32>>("arrivals");
    QTest::addColumn<quint32>("lastSequence");
    QTest::addColumn<quint32>("duplicates");
    QList<quint32> wrapped;
    for (quint32 n = 1; n <= 1024; ++n)
        wrapped << n;
    QTest::newRow("new numbers") << QList<quint32> { 1, 2, 3 } << 3u << 0u;
    QTest::newRow("repeats") << QList<quint32> { 1, 2, 2, 1 } << 2u << 2u;
    QTest::newRow("late arrival is new") << QList<quint32> { 1, 3, 2 } << 2u << 0u;
    QTest::newRow("an unused slot matches 0") << QList<quint32> { 0 } << 0u << 1u;
    QTest::newRow("1024 remembered") << wrapped + QList<quint32> { 1 } << 1024u << 1u;
    QTest::newRow("the oldest forgotten") << wrapped + QList<quint32> { 1025, 1 } << 1u << 0u;
    QTest::newRow("32-bit numbers")
        << QList<quint32> { 4294967295u, 3000000000u, 4294967295u } << 3000000000u << 1u;
}

void tst_Core::history()
{
    QFETCH(QList<quint32>, arrivals);
    for (quint32 sequence : arrivals)
        QCOMPARE(count("10.0.0.1", 5000, 1, sequence), 0u);
    QCOMPARE(m_table.size(), 1u);
    QTEST(m_table.at(0).lastSequence, "lastSequence");
    QTEST(m_table.at(0).duplicates, "duplicates");
}

void tst_Core::sources()
{
    QCOMPARE(count("10.0.0.1", 5000, 100, 1, 86400), 0u);
    QCOMPARE(count("10.0.0.1", 5001, 101, 1), 1u); // the port tells sources apart
    QCOMPARE(count("10.0.0.2", 5000, 102, 1), 2u); // and so does the address
    QCOMPARE(count("10.0.0.1", 5000, 103, 1, 1), 0u); // a duplicate refreshes the time
    QCOMPARE(count("10.0.0.1", 5000, 104, 2, 1), 0u);
    const Source& first = m_table.at(0);
    QCOMPARE(first.period, 86400u); // the first probe's period stays
    QCOMPARE(first.lastReceived, std::time_t(104));
    QCOMPARE(first.lastSequence, 2u);
    QCOMPARE(first.duplicates, 1u);
    QCOMPARE(m_table.at(2).address, std::string("10.0.0.2"));

    const QByteArray foreign(100, 'x');
    QCOMPARE(m_table
                 .countProbe(reinterpret_cast<const std::uint8_t*>(foreign.data()),
                     std::size_t(foreign.size()), "10.0.0.3", 5000, 105, 105000)
                 .index,
        SourceTable::NotCounted);
    QCOMPARE(m_table.size(), 3u);
}

void tst_Core::duplicatesSaturate()
{
    Source source("10.0.0.1", 5000, 0, 0, 5, 7);
    source.duplicates = std::numeric_limits<quint32>::max() - 1;
    source.count(1, 1000, 7, {});
    source.count(2, 2000, 7, {});
    QCOMPARE(source.duplicates, std::numeric_limits<quint32>::max());
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
    QTest::addColumn<QString>("arrivals"); // number@second, at a period of 1 s
    QTest::addColumn<double>("readAt");
    QTest::addColumn<QList<quint32>>("counters"); // Total RX, Total Miss, Cons. RX, Cons. Miss
    QTest::addColumn<bool>("lost");
    const QString stopped = QStringLiteral("1@0 2@1 3@2");
    QTest::newRow("all") << "1@0 2@1 3@2 4@3 5@4" << 4.5 << QList<quint32> { 5, 0, 5, 0 } << false;
    QTest::newRow("a gap") << "1@0 2@1 5@4 6@5" << 5.5 << QList<quint32> { 4, 2, 2, 0 } << false;
    QTest::newRow("late") << "1@0 2@1 4@3 3@3.5" << 4.0 << QList<quint32> { 4, 0, 2, 0 } << false;
    QTest::newRow("overdue") << stopped << 6.5 << QList<quint32> { 3, 2, 0, 2 } << false;
    QTest::newRow("lost") << stopped << 7.5 << QList<quint32> { 3, 3, 0, 3 } << true;
    QTest::newRow("paused") << stopped + " 4@9.2" << 9.5 << QList<quint32> { 4, 0, 1, 0 } << false;
    QTest::newRow("outage") << stopped + " 9@8.5" << 9.0 << QList<quint32> { 4, 5, 1, 0 } << false;
    QTest::newRow("wrapping") << "4294967294@0 4294967295@1 1@3" << 3.5
                              << QList<quint32> { 3, 1, 1, 0 } << false;
}

// The counters as a tick every quarter of a second reads them, arrivals between.
void tst_Core::loss()
{
    QFETCH(QString, arrivals);
    QFETCH(double, readAt);
    QFETCH(QList<quint32>, counters);
    QStringList pending = arrivals.split(' ');
    for (std::int64_t now = 0; now <= std::int64_t(readAt * 1000); now += 250) {
        while (!pending.isEmpty() && pending.first().section('@', 1).toDouble() * 1000 <= now) {
            const QString arrival = pending.takeFirst();
            const auto bytes = ProbePacket { 1, arrival.section('@', 0, 0).toUInt(), 1 }.build(43);
            m_table.countProbe(bytes.data(), bytes.size(), "10.0.0.1", 5000, 0,
                std::int64_t(arrival.section('@', 1).toDouble() * 1000));
        }
        m_table.checkOverdue(now, [](std::size_t, bool) {});
    }
    const Source& source = m_table.at(0);
    QCOMPARE((QList<quint32> { source.totalReceived, source.totalMissed, source.consecutiveReceived,
                 source.consecutiveMissed }),
        counters);
    QTEST(source.lost, "lost");
}

QTEST_APPLESS_MAIN(tst_Core)
#include "tst_core.moc"
