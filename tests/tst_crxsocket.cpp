#include "CRxSocket.h"

#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "RecordingOwner.h"
#include "UdpPeer.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

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
    void bindFailureShowsSystemText();
    void emptyDatagramShowsBoxAndDeliversNothing();
    void burstOfEmptyDatagramsNeverStacksBoxes();
    void datagramsArriveWhole_data();
    void datagramsArriveWhole();
    void deletingSocketWhileBoxIsOpen();
};

void tst_CRxSocket::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CRxSocket::receivesJoinedGroupAndUnicast()
{
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9001, true, &owner));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(probeBytes(1), GROUP, 9001), 100);
    QCOMPARE(sender.sendTo(probeBytes(2), "127.0.0.1", 9001), 100);
    QTRY_COMPARE(owner.datagrams.size(), 2);
    QCOMPARE(owner.datagrams.at(0).address, std::string("127.0.0.1"));
    QCOMPARE(owner.datagrams.at(0).port, std::uint32_t(sender.port()));
    QCOMPARE(owner.sources.GetCount(), std::size_t(1));
    QCOMPARE(owner.sources.GetAt(0).m_nLastSeq, 2u);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::twoJoinedReceiversOnOnePortBothReceive()
{
    MessageBoxRecorder boxes;
    RecordingOwner first, second;
    CRxSocket a, b;
    QVERIFY(a.Bind(GROUP, 9002, true, &first));
    QVERIFY(b.Bind(GROUP, 9002, true, &second));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9002);
    QTRY_COMPARE(first.datagrams.size(), 1);
    QTRY_COMPARE(second.datagrams.size(), 1);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::membershipOfOneSocketIsItsOwn()
{
    MessageBoxRecorder boxes;
    RecordingOwner joined, notJoined;
    CRxSocket a, b;
    QVERIFY(a.Bind(GROUP, 9003, true, &joined));
    QVERIFY(b.Bind(GROUP, 9003, false, &notJoined));
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

void tst_CRxSocket::joinRefused()
{
    QFETCH(QString, group);
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(group.toStdString(), 9004, true, &owner));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::setsockopt(IP_ADD_MEMBERSHIP)"));
    QCOMPARE(boxes.boxes.at(0).type, unsigned(MB_ICONINFORMATION | MB_OK));
    QCOMPARE(boxes.boxes.at(0).owner, nullptr);
    QVERIFY(!boxes.boxes.at(0).text.isEmpty());

    UdpPeer sender;
    sender.sendTo(probeBytes(1), "127.0.0.1", 9004);
    QTRY_COMPARE(owner.datagrams.size(), 1);
}

void tst_CRxSocket::joinLaterUsesGroupGivenAtBind()
{
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9005, false, &owner));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9005);
    QTest::qWait(100);
    QCOMPARE(owner.datagrams.size(), 0);

    QVERIFY(socket.JoinGroup());
    sender.sendTo(probeBytes(2), GROUP, 9005);
    QTRY_COMPARE(owner.datagrams.size(), 1);

    QVERIFY(socket.LeaveGroup());
    sender.sendTo(probeBytes(3), GROUP, 9005);
    QTest::qWait(100);
    QCOMPARE(owner.datagrams.size(), 1);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::leaveWithoutMembershipIsSilent()
{
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9006, false, &owner));
    QVERIFY(!socket.LeaveGroup());
    QVERIFY(socket.JoinGroup());
    QVERIFY(socket.LeaveGroup());
    QVERIFY(!socket.LeaveGroup());
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::bindFailureShowsSystemText()
{
    auto taken = std::make_unique<UdpPeer>(9007, true);
    QVERIFY(taken->isValid());
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(!socket.Bind(GROUP, 9007, true, &owner));
    taken.reset();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::Bind()"));
    QCOMPARE(boxes.boxes.at(0).text, QString::fromLocal8Bit(std::strerror(EADDRINUSE)));
    QCOMPARE(boxes.boxes.at(0).type, unsigned(MB_ICONINFORMATION | MB_OK));
    QCOMPARE(socket.Handle(), -1);
}

void tst_CRxSocket::emptyDatagramShowsBoxAndDeliversNothing()
{
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9008, true, &owner));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(QByteArray(), GROUP, 9008), 0);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Got return code of \"0\" from Receive() !"));
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::OnReceive"));
    QCOMPARE(boxes.boxes.at(0).type, unsigned(MB_OK));
    QCOMPARE(owner.datagrams.size(), 0);
    QCOMPARE(owner.sources.GetCount(), std::size_t(0));
}

void tst_CRxSocket::burstOfEmptyDatagramsNeverStacksBoxes()
{
    MessageBoxRecorder boxes;
    // While a box is up the event loop keeps running, as it does under a modal box.
    boxes.setWhileOpen([] { QTest::qWait(150); });
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9009, true, &owner));
    UdpPeer sender;
    constexpr int burst = 200;
    for (int i = 0; i < burst; ++i)
        sender.sendTo(QByteArray(), GROUP, 9009);
    sender.sendTo(probeBytes(1), GROUP, 9009);
    QTRY_COMPARE(owner.datagrams.size(), 1);
    QCOMPARE(boxes.deepest, 1);
    QVERIFY2(boxes.boxes.size() < 10, qPrintable(QString::number(boxes.boxes.size())));
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
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9010, true, &owner));
    QByteArray payload(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 7);
    UdpPeer sender;
    QCOMPARE(sender.sendTo(payload, GROUP, 9010), long(size));
    QTRY_COMPARE(owner.datagrams.size(), 1);
    QCOMPARE(owner.datagrams.at(0).bytes, payload);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::deletingSocketWhileBoxIsOpen()
{
    MessageBoxRecorder boxes;
    RecordingOwner owner;
    auto socket = std::make_unique<CRxSocket>();
    boxes.setWhileOpen([&socket] {
        socket.reset();
        QTest::qWait(50);
    });
    QVERIFY(socket->Bind(GROUP, 9011, true, &owner));
    UdpPeer sender;
    sender.sendTo(QByteArray(), GROUP, 9011);
    sender.sendTo(QByteArray(), GROUP, 9011);
    QTRY_VERIFY(!socket);
    QTest::qWait(50);
    QCOMPARE(boxes.boxes.size(), 1);
}

QTEST_GUILESS_MAIN(tst_CRxSocket)
#include "tst_crxsocket.moc"
