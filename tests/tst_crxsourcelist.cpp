#include "receiver/CRxSourceList.h"

#include <QtTest>

#include <vector>

using Sequences = std::vector<quint32>;
Q_DECLARE_METATYPE(Sequences)

namespace {

Sequences range(quint32 first, quint32 last)
{
    Sequences out;
    for (quint32 s = first; s <= last; ++s)
        out.push_back(s);
    return out;
}

Sequences operator+(Sequences a, const Sequences& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class tst_CRxSourceList : public QObject {
    Q_OBJECT

private slots:
    void firstDatagram();
    void history_data();
    void history();
    void wrapOverwritesOldest();
    void laterDatagramsKeepFirstFrequencyAndRefreshTime();
    void sourcesToldApart_data();
    void sourcesToldApart();
    void orderOfFirstArrival();
    void duplicateCountSaturates();
};

void tst_CRxSourceList::firstDatagram()
{
    CRxSourceList table;
    const CRxSource* source = table.FindOrAdd("192.0.2.1", 4000, 1000, 10, 5);
    QVERIFY(source);
    QCOMPARE(source->m_strAddress, std::string("192.0.2.1"));
    QCOMPARE(source->m_nPort, 4000u);
    QCOMPARE(source->m_timeLastRx, std::time_t(1000));
    QCOMPARE(source->m_nLastSeq, 5u);
    QCOMPARE(source->m_nFrequency, 10u);
    QCOMPARE(source->m_nDups, 0u);
    QCOMPARE(source->m_seqHistory[0], 5u);
    QCOMPARE(source->m_nHistoryPos, 1u);
}

void tst_CRxSourceList::history_data()
{
    QTest::addColumn<Sequences>("sequences");
    QTest::addColumn<quint32>("lastSeq");
    QTest::addColumn<quint32>("dups");
    QTest::addColumn<quint32>("historyPos");

    QTest::newRow("sequence 0 first matches a fresh slot") << Sequences { 0 } << 0u << 1u << 0u;
    QTest::newRow("sequence 0 while a zero slot is left")
        << range(1, 1023) + Sequences { 0 } << 1023u << 1u << 1023u;
    QTest::newRow("sequence 0 once all slots are used")
        << range(1, 1024) + Sequences { 0 } << 0u << 0u << 1u;
    QTest::newRow("same number twice") << Sequences { 7, 7 } << 7u << 1u << 1u;
    QTest::newRow("1..1024 then 1 is a duplicate")
        << range(1, 1024) + Sequences { 1 } << 1024u << 1u << 0u;
    QTest::newRow("1..1025 then 1 is new") << range(1, 1025) + Sequences { 1 } << 1u << 0u << 2u;
    QTest::newRow("out of order: 10 then 8") << Sequences { 10, 8 } << 8u << 0u << 2u;
    QTest::newRow("out of order: 10, 8, 10") << Sequences { 10, 8, 10 } << 8u << 1u << 2u;
    QTest::newRow("restarted sender") << range(1, 5) + range(1, 3) << 5u << 3u << 5u;
    QTest::newRow("restarted sender passes its old numbers")
        << range(1, 5) + range(1, 7) << 7u << 5u << 7u;
    QTest::newRow("high numbers") << Sequences { 0xffffffffu, 3000000000u } << 3000000000u << 0u
                                  << 2u;
}

void tst_CRxSourceList::history()
{
    QFETCH(Sequences, sequences);
    QFETCH(quint32, lastSeq);
    QFETCH(quint32, dups);
    QFETCH(quint32, historyPos);

    CRxSourceList table;
    const CRxSource* source = nullptr;
    for (quint32 sequence : sequences)
        source = table.FindOrAdd("10.1.1.1", 1, 0, 5, sequence);
    QCOMPARE(table.GetCount(), std::size_t(1));
    QCOMPARE(source->m_nLastSeq, lastSeq);
    QCOMPARE(source->m_nDups, dups);
    QCOMPARE(source->m_nHistoryPos, historyPos);
    QCOMPARE(source->m_nConsRx, 0);
    QCOMPARE(source->m_nConsMiss, 0);
    QCOMPARE(source->m_nTotalRx, 0);
    QCOMPARE(source->m_nTotalMiss, 0);
}

void tst_CRxSourceList::wrapOverwritesOldest()
{
    CRxSourceList table;
    const CRxSource* source = nullptr;
    for (quint32 sequence : range(1, 1025) + Sequences { 1 })
        source = table.FindOrAdd("10.1.1.1", 1, 0, 5, sequence);
    QCOMPARE(source->m_seqHistory[0], 1025u);
    QCOMPARE(source->m_seqHistory[1], 1u); // 2 was overwritten
    QCOMPARE(source->m_seqHistory[2], 3u);
    source = table.FindOrAdd("10.1.1.1", 1, 0, 5, 2);
    QCOMPARE(source->m_nDups, 0u);
    QCOMPARE(source->m_nLastSeq, 2u);
}

void tst_CRxSourceList::laterDatagramsKeepFirstFrequencyAndRefreshTime()
{
    CRxSourceList table;
    table.FindOrAdd("10.1.1.1", 1, 100, 5, 1);
    const CRxSource* source = table.FindOrAdd("10.1.1.1", 1, 200, 60, 2);
    QCOMPARE(source->m_nFrequency, 5u);
    QCOMPARE(source->m_timeLastRx, std::time_t(200));
    source = table.FindOrAdd("10.1.1.1", 1, 300, 60, 2);
    QCOMPARE(source->m_nDups, 1u);
    QCOMPARE(source->m_timeLastRx, std::time_t(300));
    QCOMPARE(source->m_nLastSeq, 2u);
}

void tst_CRxSourceList::sourcesToldApart_data()
{
    QTest::addColumn<QString>("otherAddress");
    QTest::addColumn<quint32>("otherPort");
    QTest::addColumn<int>("sources");
    QTest::newRow("same address and port") << "10.0.0.1" << 5000u << 1;
    QTest::newRow("same address, other port") << "10.0.0.1" << 5001u << 2;
    QTest::newRow("other address, same port") << "10.0.0.2" << 5000u << 2;
    QTest::newRow("text compared exactly") << "10.0.0.01" << 5000u << 2;
}

void tst_CRxSourceList::sourcesToldApart()
{
    QFETCH(QString, otherAddress);
    QFETCH(quint32, otherPort);
    QFETCH(int, sources);
    CRxSourceList table;
    const CRxSource* first = table.FindOrAdd("10.0.0.1", 5000, 0, 5, 1);
    const CRxSource* second = table.FindOrAdd(otherAddress.toStdString(), otherPort, 0, 5, 1);
    QCOMPARE(int(table.GetCount()), sources);
    QCOMPARE(first == second, sources == 1);
    QCOMPARE(first->m_nDups, sources == 1 ? 1u : 0u);
}

void tst_CRxSourceList::orderOfFirstArrival()
{
    CRxSourceList table;
    const struct {
        const char* address;
        std::size_t index;
    } arrivals[] = { { "10.0.0.3", 0 }, { "10.0.0.1", 1 }, { "10.0.0.3", 0 }, { "10.0.0.2", 2 },
        { "10.0.0.1", 1 } };
    quint32 sequence = 0;
    for (const auto& arrival : arrivals) {
        std::size_t index = 99;
        QVERIFY(table.FindOrAdd(arrival.address, 1, 0, 5, ++sequence, &index));
        QCOMPARE(index, arrival.index);
    }
    QCOMPARE(table.GetCount(), std::size_t(3));
    QCOMPARE(table.GetAt(0).m_strAddress, std::string("10.0.0.3"));
    QCOMPARE(table.GetAt(1).m_strAddress, std::string("10.0.0.1"));
    QCOMPARE(table.GetAt(2).m_strAddress, std::string("10.0.0.2"));
}

// A sender replaying one number at full speed reaches 2^32 duplicates within hours; the
// count stops there instead of wrapping to 0.
void tst_CRxSourceList::duplicateCountSaturates()
{
    CRxSourceList table;
    CRxSource* source = table.FindOrAdd("10.0.0.1", 1, 0, 5, 1);
    source->m_nDups = std::numeric_limits<std::uint32_t>::max() - 1;
    table.FindOrAdd("10.0.0.1", 1, 0, 5, 1);
    QCOMPARE(source->m_nDups, std::numeric_limits<std::uint32_t>::max());
    table.FindOrAdd("10.0.0.1", 1, 0, 5, 1);
    QCOMPARE(source->m_nDups, std::numeric_limits<std::uint32_t>::max());
}

QTEST_GUILESS_MAIN(tst_CRxSourceList)
#include "tst_crxsourcelist.moc"
