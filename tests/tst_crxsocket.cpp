#include "receiver/CRxSocket.h"

#include "DatagramLog.h"
#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"

#include "platform/SystemError.h"

#include <QtTest>

#include <cerrno>
#include <memory>
#include <vector>

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
    void emptyDatagramsOpenOneBoxInTheWholeProgram_data();
    void emptyDatagramsOpenOneBoxInTheWholeProgram();
    void datagramsArriveWhole_data();
    void datagramsArriveWhole();
    void deletingSocketWhileBoxIsOpen();
};

void tst_CRxSocket::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CRxSocket::receivesJoinedGroupAndUnicast()
{
    MessageBoxRecorder boxes;
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9001, true, nullptr));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(probeBytes(1), GROUP, 9001), 100);
    QCOMPARE(sender.sendTo(probeBytes(2), "127.0.0.1", 9001), 100);
    QTRY_COMPARE(log.datagrams.size(), 2);
    QCOMPARE(log.datagrams.at(0).address, std::string("127.0.0.1"));
    QCOMPARE(log.datagrams.at(0).port, sender.port());
    QCOMPARE(log.sources.GetCount(), std::size_t(1));
    QCOMPARE(log.sources.GetAt(0).m_nLastSeq, 2u);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::twoJoinedReceiversOnOnePortBothReceive()
{
    MessageBoxRecorder boxes;
    CRxSocket a, b;
    DatagramLog first(a), second(b);
    QVERIFY(a.Bind(GROUP, 9002, true, nullptr));
    QVERIFY(b.Bind(GROUP, 9002, true, nullptr));
    UdpPeer sender;
    sender.sendTo(probeBytes(1), GROUP, 9002);
    QTRY_COMPARE(first.datagrams.size(), 1);
    QTRY_COMPARE(second.datagrams.size(), 1);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::membershipOfOneSocketIsItsOwn()
{
    MessageBoxRecorder boxes;
    CRxSocket a, b;
    DatagramLog joined(a), notJoined(b);
    QVERIFY(a.Bind(GROUP, 9003, true, nullptr));
    QVERIFY(b.Bind(GROUP, 9003, false, nullptr));
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
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(group.toStdString(), 9004, true, nullptr));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::setsockopt(IP_ADD_MEMBERSHIP)"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Information);
    QCOMPARE(boxes.boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!boxes.boxes.at(0).owner);
    QVERIFY(!boxes.boxes.at(0).text.isEmpty());

    UdpPeer sender;
    sender.sendTo(probeBytes(1), "127.0.0.1", 9004);
    QTRY_COMPARE(log.datagrams.size(), 1);
}

void tst_CRxSocket::joinLaterUsesGroupGivenAtBind()
{
    MessageBoxRecorder boxes;
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9005, false, nullptr));
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
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::leaveWithoutMembershipIsSilent()
{
    MessageBoxRecorder boxes;
    CRxSocket socket;
    QVERIFY(socket.Bind(GROUP, 9006, false, nullptr));
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
    CRxSocket socket;
    QVERIFY(!socket.Bind(GROUP, 9007, true, nullptr));
    taken.reset();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::Bind()"));
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Address already in use"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Information);
    QVERIFY(!socket.IsOpen());
}

void tst_CRxSocket::emptyDatagramShowsBoxAndDeliversNothing()
{
    MessageBoxRecorder boxes;
    QWidget panel;
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9008, true, &panel));
    UdpPeer sender;
    QCOMPARE(sender.sendTo(QByteArray(), GROUP, 9008), 0);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Got return code of \"0\" from Receive() !"));
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CRxSocket::OnReceive"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::NoIcon);
    QCOMPARE(boxes.boxes.at(0).owner.data(), &panel);
    QCOMPARE(log.datagrams.size(), 0);
}

void tst_CRxSocket::emptyDatagramsOpenOneBoxInTheWholeProgram_data()
{
    QTest::addColumn<int>("receivers");
    QTest::addColumn<int>("burst");
    QTest::newRow("50 receivers, one datagram") << 50 << 1;
    QTest::newRow("200 receivers, a burst of 100") << 200 << 100;
}

// Anyone on the LAN can send empty datagrams; however many receivers hear them, the user
// sees one box at a time, and the sockets go on reading while it is open.
void tst_CRxSocket::emptyDatagramsOpenOneBoxInTheWholeProgram()
{
    QFETCH(int, receivers);
    QFETCH(int, burst);
    MessageBoxRecorder boxes;
    std::vector<std::unique_ptr<CRxSocket>> sockets;
    std::vector<std::unique_ptr<DatagramLog>> logs;
    for (int i = 0; i < receivers; ++i) {
        sockets.push_back(std::make_unique<CRxSocket>());
        logs.push_back(std::make_unique<DatagramLog>(*sockets.back()));
        QVERIFY(sockets.back()->Bind(GROUP, 9012, true, nullptr));
    }
    UdpPeer sender;
    boxes.setWhileOpen([&] {
        for (int i = 0; i < burst; ++i)
            sender.sendTo(QByteArray(), GROUP, 9012);
        sender.sendTo(probeBytes(1), GROUP, 9012);
        QTRY_VERIFY(std::all_of(
            logs.begin(), logs.end(), [](const auto& log) { return log->datagrams.size() == 1; }));
    });
    sender.sendTo(QByteArray(), GROUP, 9012);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QTest::qWait(200);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.deepest, 1);
    QVERIFY(std::all_of(
        logs.begin(), logs.end(), [](const auto& log) { return log->datagrams.size() == 1; }));
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
    CRxSocket socket;
    DatagramLog log(socket);
    QVERIFY(socket.Bind(GROUP, 9010, true, nullptr));
    QByteArray payload(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 7);
    UdpPeer sender;
    QCOMPARE(sender.sendTo(payload, GROUP, 9010), long(size));
    QTRY_COMPARE(log.datagrams.size(), 1);
    QCOMPARE(log.datagrams.at(0).bytes, payload);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CRxSocket::deletingSocketWhileBoxIsOpen()
{
    MessageBoxRecorder boxes;
    auto panel = std::make_unique<QWidget>();
    auto socket = std::make_unique<CRxSocket>();
    boxes.setWhileOpen([&] {
        socket.reset();
        panel.reset();
        QTest::qWait(50);
    });
    QVERIFY(socket->Bind(GROUP, 9011, true, panel.get()));
    UdpPeer sender;
    sender.sendTo(QByteArray(), GROUP, 9011);
    sender.sendTo(QByteArray(), GROUP, 9011);
    QTRY_VERIFY(!socket);
    QTest::qWait(50);
    QCOMPARE(boxes.boxes.size(), 1);
}

QTEST_MAIN(tst_CRxSocket)
#include "tst_crxsocket.moc"
