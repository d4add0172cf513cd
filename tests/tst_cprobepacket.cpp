#include "probe/CProbePacket.h"

#include <QtTest>

namespace {

const QByteArray SIGNATURE("Lumivox multicast probe packets\0", 32);

QByteArray built(std::int8_t type, quint32 sequence, quint32 frequency, quint32 size)
{
    CProbePacket packet(type, sequence, frequency, size);
    const std::uint8_t* bytes = packet.Build();
    if (!bytes)
        return {};
    return QByteArray(reinterpret_cast<const char*>(bytes), int(size));
}

bool parses(const QByteArray& datagram, CProbePacket* into = nullptr)
{
    CProbePacket local;
    CProbePacket& packet = into ? *into : local;
    return packet.Parse(
        reinterpret_cast<const std::uint8_t*>(datagram.constData()), std::size_t(datagram.size()));
}

} // namespace

class tst_CProbePacket : public QObject {
    Q_OBJECT

private slots:
    void headerExample();
    void layout_data();
    void layout();
    void sequenceIsBigEndian();
    void tooSmallBuildsNothing();
    void everySizeParsesBack();
    void parseRejects_data();
    void parseRejects();
    void parseAcceptsTypes_data();
    void parseAcceptsTypes();
    void parseLeavesFieldsOnRejection();
};

void tst_CProbePacket::headerExample()
{
    const QByteArray expected = SIGNATURE
        + QByteArray::fromHex("0001"
                              "01"
                              "00000001"
                              "00000005");
    QCOMPARE(built(1, 1, 5, 43), expected);
    QCOMPARE(CProbePacket::MinSize(), std::size_t(43));
}

void tst_CProbePacket::layout_data()
{
    QTest::addColumn<quint32>("size");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("43: ends after the frequency") << 43u << QByteArray::fromHex("0000002a");
    QTest::newRow("44: one filler byte") << 44u << QByteArray("L");
    QTest::newRow("75: one whole copy, NUL last") << 75u << SIGNATURE;
    QTest::newRow("1000: 29 copies and 29 bytes") << 1000u << SIGNATURE.left(29);
    QTest::newRow("1500") << 1500u << SIGNATURE.left((1500 - 43) % 32);
}

void tst_CProbePacket::layout()
{
    QFETCH(quint32, size);
    QFETCH(QByteArray, tail);
    const QByteArray packet = built(1, 0x01020304, 42, size);
    QCOMPARE(packet.size(), int(size));
    QCOMPARE(packet.left(32), SIGNATURE);
    QCOMPARE(packet.mid(32, 11),
        QByteArray::fromHex("0001"
                            "01"
                            "01020304"
                            "0000002a"));
    for (int i = 43; i < int(size); ++i)
        QVERIFY2(packet.at(i) == SIGNATURE.at((i - 43) % 32), qPrintable(QString::number(i)));
    QVERIFY(packet.endsWith(tail));
}

void tst_CProbePacket::sequenceIsBigEndian()
{
    QCOMPARE(built(1, 258, 5, 43).mid(35, 4), QByteArray::fromHex("00000102"));
    QCOMPARE(built(1, 0xfffffffe, 86400, 43).mid(35, 8), QByteArray::fromHex("fffffffe00015180"));
}

void tst_CProbePacket::tooSmallBuildsNothing()
{
    CProbePacket packet(1, 1, 5, 42);
    QCOMPARE(packet.Build(), nullptr);
    CProbePacket empty;
    QCOMPARE(empty.Build(), nullptr);
}

void tst_CProbePacket::everySizeParsesBack()
{
    for (quint32 size = 43; size <= 1500; ++size) {
        const quint32 sequence = size * 2654435761u;
        CProbePacket parsed;
        QVERIFY2(
            parses(built(3, sequence, size + 7, size), &parsed), qPrintable(QString::number(size)));
        QCOMPARE(parsed.GetType(), std::int8_t(3));
        QCOMPARE(parsed.GetSequence(), sequence);
        QCOMPARE(parsed.GetFrequency(), size + 7);
    }
}

void tst_CProbePacket::parseRejects_data()
{
    QTest::addColumn<QByteArray>("datagram");
    const QByteArray good = built(1, 7, 5, 100);
    QByteArray noNul = good;
    noNul[31] = ' ';
    QByteArray littleEndianVersion = good;
    littleEndianVersion[32] = 1;
    littleEndianVersion[33] = 0;
    QByteArray type0 = good, type4 = good, type80 = good, typeFF = good;
    type0[34] = 0;
    type4[34] = 4;
    type80[34] = char(0x80);
    typeFF[34] = char(0xff);
    QByteArray otherCase = good;
    otherCase[0] = 'l';
    QTest::newRow("signature differs only in its NUL") << noNul;
    QTest::newRow("signature differs in case") << otherCase;
    QTest::newRow("42 bytes, header otherwise valid") << good.left(42);
    QTest::newRow("31 bytes of signature") << good.left(31);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("version 01 00") << littleEndianVersion;
    QTest::newRow("type 0") << type0;
    QTest::newRow("type 4") << type4;
    QTest::newRow("type 0x80 (negative)") << type80;
    QTest::newRow("type 0xff (negative)") << typeFF;
    QTest::newRow("foreign text") << QByteArray(64, 'x');
}

void tst_CProbePacket::parseRejects()
{
    QFETCH(QByteArray, datagram);
    QVERIFY(!parses(datagram));
}

void tst_CProbePacket::parseAcceptsTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
    QTest::newRow("3") << 3;
}

void tst_CProbePacket::parseAcceptsTypes()
{
    QFETCH(int, type);
    QByteArray packet = built(1, 9, 5, 43);
    packet[34] = char(type);
    CProbePacket parsed;
    QVERIFY(parses(packet, &parsed));
    QCOMPARE(int(parsed.GetType()), type);
    QCOMPARE(parsed.GetSequence(), 9u);
}

void tst_CProbePacket::parseLeavesFieldsOnRejection()
{
    CProbePacket parsed;
    QVERIFY(parses(built(1, 11, 12, 43), &parsed));
    QByteArray bad = built(1, 99, 99, 43);
    bad[34] = 0;
    QVERIFY(!parses(bad, &parsed));
    QCOMPARE(parsed.GetSequence(), 11u);
    QCOMPARE(parsed.GetFrequency(), 12u);
}

QTEST_GUILESS_MAIN(tst_CProbePacket)
#include "tst_cprobepacket.moc"
