#include "net/ReceiveSocket.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QUdpSocket>

// What a socket delivered, in order, and when the kernel says each arrived.
struct Heard : QObject {
    explicit Heard(ReceiveSocket& socket)
    {
        connect(&socket, &ReceiveSocket::datagramReceived, this,
            [this](const std::uint8_t* data, std::size_t length, const std::string&, quint16, int,
                qint64 arrivalNs) {
                datagrams << QByteArray(reinterpret_cast<const char*>(data), qsizetype(length));
                arrivals << arrivalNs;
            });
    }
    QByteArrayList datagrams;
    QList<qint64> arrivals;
};

// The receive socket against real datagrams, inside a private network namespace.
class tst_ReceiveSocket : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_ISOLATED_NETWORK(); }
    void membership();
    void deletedFromItsOwnSignal();
    void gathersAStream();

private:
    void send(const QByteArray& bytes, const char* to, quint16 port)
    {
        QCOMPARE(m_peer.writeDatagram(bytes, QHostAddress(QLatin1String(to)), port), bytes.size());
    }

    QUdpSocket m_peer;
};

// Each socket hears only the groups it joined itself, whoever shares its port, and a later
// join or leave takes effect.
void tst_ReceiveSocket::membership()
{
    const quint16 port = 9000;
    ReceiveSocket first, second, later;
    QVERIFY(first.bind({ QHostAddress(QStringLiteral("234.1.1.1")), port }, 0, true));
    QVERIFY(second.bind({ QHostAddress(QStringLiteral("234.1.1.2")), port }, 0, true));
    QVERIFY(later.bind({ QHostAddress(QStringLiteral("234.1.1.1")), quint16(port + 1) }, 0, false));
    Heard toFirst(first), toSecond(second), toLater(later);

    const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    send("one", "234.1.1.1", port);
    send("two", "234.1.1.2", port);
    send("not joined", "234.1.1.1", port + 1);
    send("marker", "127.0.0.1", port + 1);
    QTRY_COMPARE(toSecond.datagrams, QByteArrayList { "two" });
    QTRY_COMPARE(toLater.datagrams, QByteArrayList { "marker" });
    send("one again", "234.1.1.1", port);
    QTRY_COMPARE(toFirst.datagrams, (QByteArrayList { "one", "one again" }));
    QCOMPARE(toSecond.datagrams.size(), 1);
    const qint64 after = QDateTime::currentMSecsSinceEpoch() * 1'000'000 + 1'000'000;
    QVERIFY(before <= toFirst.arrivals[0] && toFirst.arrivals[0] <= toFirst.arrivals[1]
        && toFirst.arrivals[1] <= after);

    QVERIFY(later.joinGroup());
    send("joined", "234.1.1.1", port + 1);
    QVERIFY(later.leaveGroup());
    QVERIFY(!later.leaveGroup());
    QCOMPARE(later.failedOption(), QStringLiteral("IP_DROP_MEMBERSHIP"));
    send("left", "234.1.1.1", port + 1);
    send("marker", "127.0.0.1", port + 1);
    QTRY_COMPARE(toLater.datagrams, (QByteArrayList { "marker", "joined", "marker" }));
}

// A receiver may close its socket from the socket's own signal, with more datagrams queued.
void tst_ReceiveSocket::deletedFromItsOwnSignal()
{
    auto socket = std::make_unique<ReceiveSocket>();
    QVERIFY(socket->bind({ QHostAddress(QStringLiteral("234.1.1.1")), 9030 }, 0, false));
    int heard = 0;
    connect(socket.get(), &ReceiveSocket::datagramReceived, this, [&] {
        ++heard;
        socket.reset();
    });
    for (int i = 0; i < 5; ++i)
        send(probeBytes(quint32(i)), "127.0.0.1", 9030);
    QTRY_VERIFY(!socket);
    QCOMPARE(heard, 1);
}

// Between the passes of a stream the socket stops listening for a moment: the stream is still
// read whole and in order, the socket listens again once it stops, and one closed meanwhile
// reports no failure. Timers fire in the order they were started, so by the time the open
// socket hears its last datagram the closed one's pass has come and gone.
void tst_ReceiveSocket::gathersAStream()
{
    const QHostAddress group(QStringLiteral("234.1.1.1"));
    ReceiveSocket closing, open;
    QVERIFY(closing.bind({ group, 9040 }, 0, false));
    QVERIFY(open.bind({ group, 9041 }, 0, false));
    Heard toClosing(closing), toOpen(open);
    QSignalSpy failures(&closing, &ReceiveSocket::receiveFailed);
    send("one", "127.0.0.1", 9040);
    QTRY_COMPARE(toClosing.datagrams.size(), 1);
    closing.close();

    QByteArrayList stream;
    for (int i = 0; i < 300; ++i) {
        stream << QByteArray::number(i);
        send(stream.last(), "127.0.0.1", 9041);
    }
    QTRY_COMPARE(toOpen.datagrams, stream);
    send("after", "127.0.0.1", 9041);
    QTRY_COMPARE(toOpen.datagrams.size(), stream.size() + 1);
    QCOMPARE(failures.count(), 0);
}

QTEST_GUILESS_MAIN(tst_ReceiveSocket)
#include "tst_receivesocket.moc"
