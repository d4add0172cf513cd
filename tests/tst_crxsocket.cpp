#include "receiver/CRxSocket.h"

#include "DatagramLog.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"

#include "platform/SystemError.h"

#include <QtTest>

#include <cerrno>
#include <memory>

namespace {

const char* const GROUP = "234.5.6.7";

} // namespace

class tst_CRxSocket : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void receivesJoinedGroupAndUnicast();
    void twoJoinedReceiversOnOnePortBothReceive();
    void membershipOfOneSocketIsItsOwn();
    void joinRefused_data();
    void joinRefused();
    void joinLaterUsesGroupGivenAtBind();
    void leaveWithoutMembershipIsSilent();
    void bindFailureKeepsTheSystemError();
    void emptyDatagramIsToldApart();
    void datagramsArriveWhole_data();
    void datagramsArriveWhole();
    void deletingSocketFromItsOwnSignal();
};

void tst_CRxSocket::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CRxSocket::receivesJoinedGroupAndUnicast()
{
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9001, true));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(probeBytes(1), GROUP, 9001), 100);
    QCOMPARE(sender.sendTo(probeBytes(2), "127.0.0.1", 9001), 100);
    QTRY_COMPARE(log.datagrams.size(), 2);
    QCOMPARE(log.datagrams.at(0).address, std::string("127.0.0.1"));
    QCOMPARE(log.datagrams.at(0).port, sender.port());
    QCOMPARE(log.sources.GetCount(), std::size_t(1));
    QCOMPARE(log.sources.GetAt(0).m_nLastSeq, 2u);
}

void tst_CRxSocket::twoJoinedReceiversOnOnePortBothReceive()
{
    CRxSocket a, b;
    DatagramLog first(a), second(b);
    QVERIFY(a.Bind(GROUP, 9002, true));
    QVERIFY(b.Bind(GROUP, 9002, true));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9002);
    QTRY_COMPARE(first.datagrams.size(), 1);
    QTRY_COMPARE(second.datagrams.size(), 1);
}

void tst_CRxSocket::membershipOfOneSocketIsItsOwn()
{
    CRxSocket a, b;
    DatagramLog joined(a), notJoined(b);
    QVERIFY(a.Bind(GROUP, 9003, true));
    QVERIFY(b.Bind(GROUP, 9003, false));
    UdpPeer sender;
    for (quint32 s = 1; s <= 3; ++s)
        sender.sendTo(probeBytes(s), GROUP, 9003);
    QTRY_COMPARE(joined.datagrams.size(), 3);
    QTest::qWait(100);
    QCOMPARE(notJoined.datagrams.size(), 0);

    // Leaving in one socket must not cut off the other, nor joining in one feed the other.
    QVERIFY(b.JoinGroup());
    QVERIFY(a.LeaveGroup());
    sender.sendTo(probeBytes(4), GROUP, 9003);
    QTRY_COMPARE(notJoined.datagrams.size(), 1);
    QTest::qWait(100);
    QCOMPARE(joined.datagrams.size(), 3);
}

void tst_CRxSocket::joinRefused_data()
{
    QTest::addColumn<QString>("group");
    QTest::newRow("letters only") << "group";
    QTest::newRow("unicast address") << "10.0.0.1";
    QTest::newRow("empty") << "";
}

// A refused join is told, and the socket stays bound for unicast.
void tst_CRxSocket::joinRefused()
{
    QFETCH(QString, group);
    CRxSocket socket;
    DatagramLog log(socket);
    QSignalSpy refused(&socket, &CRxSocket::JoinRefused);
    QVERIFY(socket.Bind(group.toStdString(), 9004, true));
    QCOMPARE(refused.size(), 1);
    QVERIFY(refused.at(0).at(0).toInt() != 0);

    UdpPeer sender;
    sender.sendTo(probeBytes(1), "127.0.0.1", 9004);
    QTRY_COMPARE(log.datagrams.size(), 1);
}

void tst_CRxSocket::joinLaterUsesGroupGivenAtBind()
{
    CRxSocket socket;
    DatagramLog log(socket);
    QSignalSpy refused(&socket, &CRxSocket::JoinRefused);
    QVERIFY(socket.Bind(GROUP, 9005, false));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9005);
    QTest::qWait(100);
    QCOMPARE(log.datagrams.size(), 0);

    QVERIFY(socket.JoinGroup());
    sender.sendTo(probeBytes(2), GROUP, 9005);
    QTRY_COMPARE(log.datagrams.size(), 1);

    QVERIFY(socket.LeaveGroup());
    sender.sendTo(probeBytes(3), GROUP, 9005);
    QTest::qWait(100);
    QCOMPARE(log.datagrams.size(), 1);
    QCOMPARE(refused.size(), 0);
}

void tst_CRxSocket::leaveWithoutMembershipIsSilent()
{
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9006, false));
    QVERIFY(!socket.LeaveGroup());
    QVERIFY(socket.JoinGroup());
    QVERIFY(socket.LeaveGroup());
    QVERIFY(!socket.LeaveGroup());
}

void tst_CRxSocket::bindFailureKeepsTheSystemError()
{
    UdpPeer taken(9007, true);
    QVERIFY(taken.isValid());
    CRxSocket socket;
    QVERIFY(!socket.Bind(GROUP, 9007, true));
    QCOMPARE(socket.LastError(), EADDRINUSE);
    QCOMPARE(SystemErrorText(socket.LastError()), QStringLiteral("Address already in use"));
    QVERIFY(!socket.IsOpen());
}

void tst_CRxSocket::emptyDatagramIsToldApart()
{
    CRxSocket socket;
    DatagramLog log(socket);
    QSignalSpy empty(&socket, &CRxSocket::EmptyDatagramReceived);
    QVERIFY(socket.Bind(GROUP, 9008, true));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(QByteArray(), GROUP, 9008), 0);
    sender.sendTo(probeBytes(1), GROUP, 9008);
    QTRY_COMPARE(log.datagrams.size(), 1);
    QCOMPARE(empty.size(), 1);
}

void tst_CRxSocket::datagramsArriveWhole_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("1 byte") << 1;
    QTest::newRow("43 bytes") << 43;
    QTest::newRow("1500 bytes") << 1500;
    QTest::newRow("largest IPv4 UDP payload") << 65507;
}

void tst_CRxSocket::datagramsArriveWhole()
{
    QFETCH(int, size);
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9010, true));
    QByteArray payload(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 7);
    UdpPeer sender;
    QCOMPARE(sender.sendTo(payload, GROUP, 9010), long(size));
    QTRY_COMPARE(log.datagrams.size(), 1);
    QCOMPARE(log.datagrams.at(0).bytes, payload);
}

// A receiver may stop, and its socket go, while a datagram's handling is on the stack.
void tst_CRxSocket::deletingSocketFromItsOwnSignal()
{
    auto socket = std::make_unique<CRxSocket>();
    int seen = 0;
    connect(socket.get(), &CRxSocket::EmptyDatagramReceived, this, [&] {
        ++seen;
        socket.reset();
    });
    QVERIFY(socket->Bind(GROUP, 9011, true));
    UdpPeer sender;
    sender.sendTo(QByteArray(), GROUP, 9011);
    sender.sendTo(QByteArray(), GROUP, 9011);
    QTRY_VERIFY(!socket);
    QTest::qWait(50);
    QCOMPARE(seen, 1);
}

QTEST_GUILESS_MAIN(tst_CRxSocket)
#include "tst_crxsocket.moc"
