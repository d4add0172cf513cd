#include "transmitter/CTxProbeSender.h"

#include "NetIsolation.h"
#include "UdpPeer.h"

#include "probe/CProbePacket.h"

#include <QtTest>

#include <netinet/in.h>
#include <set>

namespace {

const char* const GROUP = "234.5.6.7";

std::unique_ptr<CTxSocket> openSocket(unsigned ttl = 16)
{
    auto socket = std::make_unique<CTxSocket>();
    if (!socket->Open(ttl))
        return nullptr;
    return socket;
}

} // namespace

class tst_CTxProbeSender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void openSetsOptions_data();
    void openSetsOptions();
    void fixedSizes_data();
    void fixedSizes();
    void randomSizes();
    void failedSendStillAdvancesSequence_data();
    void failedSendStillAdvancesSequence();
    void sequenceWrapsAt32Bits();
};

void tst_CTxProbeSender::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CTxProbeSender::openSetsOptions_data()
{
    QTest::addColumn<unsigned>("ttl");
    QTest::newRow("1") << 1u;
    QTest::newRow("default 16") << 16u;
    QTest::newRow("255") << 255u;
}

// Probes leave with the panel's TTL, and multicast loopback lets a receiver on this host
// see them.
void tst_CTxProbeSender::openSetsOptions()
{
    QFETCH(unsigned, ttl);
    UdpPeer receiver(9100);
    QVERIFY(receiver.join(GROUP));
    CTxProbeSender sender;
    sender.m_nPort = 9100;
    sender.m_pSocket = openSocket(ttl);
    QVERIFY(sender.m_pSocket);
    std::uint16_t port = 0;
    QVERIFY(sender.m_pSocket->GetSockName(port));
    QVERIFY(port != 0);
    QCOMPARE(sender.SendProbe(), 1000L);
    bool ok = false;
    int arrivedWith = -1;
    receiver.receive(2000, &ok, nullptr, &arrivedWith);
    QVERIFY(ok);
    QCOMPARE(arrivedWith, int(ttl));
}

void tst_CTxProbeSender::fixedSizes_data()
{
    QTest::addColumn<quint32>("size");
    QTest::newRow("header only, 43") << 43u;
    QTest::newRow("default 1000") << 1000u;
    QTest::newRow("largest, 1500") << 1500u;
}

void tst_CTxProbeSender::fixedSizes()
{
    QFETCH(quint32, size);
    UdpPeer receiver(9101);
    QVERIFY(receiver.join(GROUP));
    CTxProbeSender sender;
    sender.m_nPort = 9101;
    sender.m_nPacketSize = size;
    sender.m_nFrequency = 7;
    sender.m_pSocket = openSocket();
    QVERIFY(sender.m_pSocket);
    for (quint32 expected = 1; expected <= 2; ++expected) {
        QCOMPARE(sender.SendProbe(), long(size));
        bool ok = false;
        const QByteArray datagram = receiver.receive(2000, &ok);
        QVERIFY(ok);
        QCOMPARE(quint32(datagram.size()), size);
        CProbePacket parsed;
        QVERIFY(parsed.Parse(reinterpret_cast<const std::uint8_t*>(datagram.constData()), size));
        QCOMPARE(parsed.GetType(), std::int8_t(1));
        QCOMPARE(parsed.GetSequence(), expected);
        QCOMPARE(parsed.GetFrequency(), 7u);
    }
}

void tst_CTxProbeSender::randomSizes()
{
    UdpPeer receiver(9102);
    QVERIFY(receiver.join(GROUP));
    CTxProbeSender sender;
    sender.m_nPort = 9102;
    sender.m_nPacketSize = 43;
    sender.m_bRandomise = true;
    sender.m_pSocket = openSocket();
    std::set<int> sizes;
    for (int i = 0; i < 300; ++i) {
        const int sent = int(sender.SendProbe());
        bool ok = false;
        const QByteArray datagram = receiver.receive(2000, &ok);
        QVERIFY(ok);
        QCOMPARE(datagram.size(), sent);
        QVERIFY2(sent >= 100 && sent <= 1499, qPrintable(QString::number(sent)));
        sizes.insert(sent);
    }
    QVERIFY(sizes.size() > 100);
}

void tst_CTxProbeSender::failedSendStillAdvancesSequence_data()
{
    QTest::addColumn<QString>("badDestination");
    QTest::newRow("no route to a unicast address") << "10.0.0.1";
    QTest::newRow("text that is no address") << "group";
    QTest::newRow("a host name (never looked up)") << "localhost";
}

void tst_CTxProbeSender::failedSendStillAdvancesSequence()
{
    QFETCH(QString, badDestination);
    UdpPeer receiver(9104);
    QVERIFY(receiver.join(GROUP));
    CTxProbeSender sender;
    sender.m_nPort = 9104;
    sender.m_pSocket = openSocket();
    sender.m_strGroup = badDestination.toStdString();
    QCOMPARE(sender.SendProbe(), -1L);
    QCOMPARE(sender.m_nLastSequence, 1u);
    QVERIFY(sender.m_pSocket->LastError() != 0);

    sender.m_strGroup = GROUP;
    QCOMPARE(sender.SendProbe(), 1000L);
    bool ok = false;
    const QByteArray datagram = receiver.receive(2000, &ok);
    QVERIFY(ok);
    CProbePacket parsed;
    QVERIFY(parsed.Parse(
        reinterpret_cast<const std::uint8_t*>(datagram.constData()), std::size_t(datagram.size())));
    QCOMPARE(parsed.GetSequence(), 2u);
}

void tst_CTxProbeSender::sequenceWrapsAt32Bits()
{
    UdpPeer receiver(9105);
    QVERIFY(receiver.join(GROUP));
    CTxProbeSender sender;
    sender.m_nPort = 9105;
    sender.m_pSocket = openSocket();
    sender.m_nLastSequence = 0xffffffffu;
    sender.SendProbe();
    QCOMPARE(sender.m_nLastSequence, 0u);
    bool ok = false;
    const QByteArray datagram = receiver.receive(2000, &ok);
    QVERIFY(ok);
    QCOMPARE(datagram.mid(35, 4), QByteArray(4, '\0'));
}

QTEST_GUILESS_MAIN(tst_CTxProbeSender)
#include "tst_ctxprobesender.moc"
