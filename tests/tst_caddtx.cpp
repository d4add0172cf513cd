#include "transmitter/CAddTx.h"

#include "platform/CIconStatic.h"

#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"
#include "Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <sys/resource.h>

namespace {

const char* const GROUP = "234.5.6.7";

const char* const SETTINGS[]
    = { "IDC_TX_GROUP", "IDC_TX_PORT", "IDC_TX_FREQUENCY", "IDC_TX_PACKET_SIZE", "IDC_TX_TTL" };

bool activityShown(CAddTx& panel)
{
    return control<CIconStatic>(&panel, "IDC_TX_ACTIVITY")->IsIconShown();
}

// Shows the panel, types port and period and presses Start, as a user would.
void startSending(CAddTx& panel, int port, int period)
{
    panel.show();
    typeInto(&panel, "IDC_TX_PORT", QString::number(port));
    typeInto(&panel, "IDC_TX_FREQUENCY", QString::number(period));
    clickButton(&panel, "IDC_TX_START");
}

// Ticks through one second: phases 0, 1, 2, 3.
void oneSecond(CAddTx& panel)
{
    for (int phase = 0; phase < 4; ++phase)
        panel.OnPanelTick(phase);
}

} // namespace

class tst_CAddTx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void newPanelShowsDefaults();
    void fieldLimits_data();
    void fieldLimits();
    void groupTakesAtMost15Characters();
    void groupMustBeADottedAddress_data();
    void groupMustBeADottedAddress();
    void countdownSendsOnPhaseZero();
    void periodOneSendsEverySecond();
    void pauseFreezesAndUnpauseResumes();
    void stopFromPausedAndRestart();
    void lockingFollowsStateAndRandomise();
    void queryClose_data();
    void queryClose();
    void failedSocketCreationKeepsStartLookAndRetries();
};

void tst_CAddTx::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CAddTx::newPanelShowsDefaults()
{
    CAddTx panel;
    QCOMPARE(textOf(&panel, "IDC_TX_GROUP"), QStringLiteral("234.5.6.7"));
    QCOMPARE(textOf(&panel, "IDC_TX_PORT"), QStringLiteral("8910"));
    QCOMPARE(textOf(&panel, "IDC_TX_FREQUENCY"), QStringLiteral("5"));
    QCOMPARE(textOf(&panel, "IDC_TX_PACKET_SIZE"), QStringLiteral("1000"));
    QCOMPARE(textOf(&panel, "IDC_TX_TTL"), QStringLiteral("16"));
    QCOMPARE(textOf(&panel, "IDC_TX_SRC_PORT"), QStringLiteral("0"));
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("0"));
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("0"));
    QVERIFY(!control<QCheckBox>(&panel, "IDC_TX_RANDOMISE")->isChecked());
    QVERIFY(control<QPushButton>(&panel, "IDC_TX_START")->isEnabled());
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_START")->text(), QStringLiteral("Start"));
    QVERIFY(!control<QPushButton>(&panel, "IDC_TX_PAUSE")->isEnabled());
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_PAUSE")->text(), QStringLiteral("Pause"));
    QVERIFY(!control<CIconStatic>(&panel, "IDC_TX_ACTIVITY")->IsIconShown());
    QCOMPARE(control<QComboBox>(&panel, "IDC_TX_INTERFACE")->count(), 0);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
}

void tst_CAddTx::fieldLimits_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("randomise");
    QTest::addColumn<QString>("refusal"); // empty when the start goes ahead

    const QString period = QStringLiteral("Enter a whole number from 1 to 86400.");
    const QString port = QStringLiteral("Enter a whole number from 1 to 65535.");
    const QString ttl = QStringLiteral("Enter a whole number from 1 to 255.");
    const QString size = QStringLiteral("Enter a whole number from 43 to 1500.");
    QTest::newRow("period 0") << QByteArray("IDC_TX_FREQUENCY") << "0" << false << period;
    QTest::newRow("period 86401") << QByteArray("IDC_TX_FREQUENCY") << "86401" << false << period;
    QTest::newRow("period 86400") << QByteArray("IDC_TX_FREQUENCY") << "86400" << false
                                  << QString();
    QTest::newRow("period not a number")
        << QByteArray("IDC_TX_FREQUENCY") << "5s" << false << period;
    QTest::newRow("period empty") << QByteArray("IDC_TX_FREQUENCY") << "" << false << period;
    QTest::newRow("period negative") << QByteArray("IDC_TX_FREQUENCY") << "-1" << false << period;
    QTest::newRow("period past 32 bits")
        << QByteArray("IDC_TX_FREQUENCY") << "4294967297" << false << period;
    QTest::newRow("port 0") << QByteArray("IDC_TX_PORT") << "0" << false << port;
    QTest::newRow("port 65536") << QByteArray("IDC_TX_PORT") << "65536" << false << port;
    QTest::newRow("port 65535") << QByteArray("IDC_TX_PORT") << "65535" << false << QString();
    QTest::newRow("port 1") << QByteArray("IDC_TX_PORT") << "1" << false << QString();
    QTest::newRow("TTL 0") << QByteArray("IDC_TX_TTL") << "0" << false << ttl;
    QTest::newRow("TTL 256") << QByteArray("IDC_TX_TTL") << "256" << false << ttl;
    QTest::newRow("TTL 255") << QByteArray("IDC_TX_TTL") << "255" << false << QString();
    QTest::newRow("size 42") << QByteArray("IDC_TX_PACKET_SIZE") << "42" << false << size;
    QTest::newRow("size 1501") << QByteArray("IDC_TX_PACKET_SIZE") << "1501" << false << size;
    QTest::newRow("size 43") << QByteArray("IDC_TX_PACKET_SIZE") << "43" << false << QString();
    QTest::newRow("size 1500") << QByteArray("IDC_TX_PACKET_SIZE") << "1500" << false << QString();
    QTest::newRow("size 42 with Randomise")
        << QByteArray("IDC_TX_PACKET_SIZE") << "42" << true << size;
}

void tst_CAddTx::fieldLimits()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(bool, randomise);
    QFETCH(QString, refusal);

    MessageBoxRecorder boxes;
    CAddTx panel;
    QVERIFY(showActive(&panel));
    typeInto(&panel, field.constData(), text);
    if (randomise)
        clickButton(&panel, "IDC_TX_RANDOMISE");
    clickButton(&panel, "IDC_TX_START");

    if (refusal.isEmpty()) {
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(panel.GetState(), STATE_RUNNING);
        QCOMPARE(textOf(&panel, field.constData()), text);
        return;
    }
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, refusal);
    QCOMPARE(boxes.boxes.at(0).owner.data(), &panel);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_START")->text(), QStringLiteral("Start"));
    QVERIFY(!control<QPushButton>(&panel, "IDC_TX_PAUSE")->isEnabled());
    for (const char* id : SETTINGS)
        QVERIFY2(!control<QLineEdit>(&panel, id)->isReadOnly(), id);
    auto* refused = control<QLineEdit>(&panel, field.constData());
    // A field disabled by Randomise cannot take the focus; the message still names the range.
    QCOMPARE(refused->hasFocus(), !randomise);
    QCOMPARE(refused->selectedText(), text);
}

void tst_CAddTx::groupTakesAtMost15Characters()
{
    CAddTx panel;
    panel.show();
    typeInto(&panel, "IDC_TX_GROUP", QStringLiteral("239.255.255.2500000"));
    QCOMPARE(textOf(&panel, "IDC_TX_GROUP"), QStringLiteral("239.255.255.250"));
}

void tst_CAddTx::groupMustBeADottedAddress_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("pasted with a trailing space") << "234.5.6.7 " << true;
    QTest::newRow("spaces around it") << "  234.5.6.7  " << true;
    QTest::newRow("not an address") << "not-an-address" << false;
    QTest::newRow("a host name, never looked up") << "localhost" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("too few parts") << "234.5.6" << false;
    QTest::newRow("a part past 255") << "234.5.6.256" << false;
}

void tst_CAddTx::groupMustBeADottedAddress()
{
    QFETCH(QString, group);
    QFETCH(bool, accepted);
    UdpPeer receiver(9205);
    QVERIFY(receiver.join(GROUP));
    MessageBoxRecorder boxes;
    CAddTx panel;
    QVERIFY(showActive(&panel));
    typeInto(&panel, "IDC_TX_GROUP", group);
    startSending(panel, 9205, 1);
    if (!accepted) {
        QCOMPARE(panel.GetState(), STATE_STOPPED);
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(
            boxes.boxes.at(0).text, QStringLiteral("Enter an IPv4 address such as 234.5.6.7."));
        auto* field = control<QLineEdit>(&panel, "IDC_TX_GROUP");
        QVERIFY(field->hasFocus());
        QCOMPARE(field->selectedText(), group);
        return;
    }
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(textOf(&panel, "IDC_TX_GROUP"), QStringLiteral("234.5.6.7"));
    oneSecond(panel);
    bool ok = false;
    QCOMPARE(sequenceOf(receiver.receive(2000, &ok)), 1u);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CAddTx::countdownSendsOnPhaseZero()
{
    UdpPeer receiver(9201);
    QVERIFY(receiver.join(GROUP));
    MessageBoxRecorder boxes;
    CAddTx panel;
    panel.show();
    typeInto(&panel, "IDC_TX_PORT", QStringLiteral("9201"));
    clickButton(&panel, "IDC_TX_START");
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("5"));
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("0"));
    QVERIFY(textOf(&panel, "IDC_TX_SRC_PORT").toUInt() > 0);

    // Phases 1 to 3 never count.
    panel.OnPanelTick(1);
    panel.OnPanelTick(2);
    panel.OnPanelTick(3);
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("5"));

    QStringList shown;
    for (int second = 0; second < 5; ++second) {
        panel.OnPanelTick(0);
        shown << textOf(&panel, "IDC_TX_COUNTDOWN");
        if (second < 4) {
            QVERIFY(!activityShown(panel));
            panel.OnPanelTick(1);
            panel.OnPanelTick(2);
            panel.OnPanelTick(3);
        }
    }
    QCOMPARE(shown, QStringList({ "4", "3", "2", "1", "5" }));
    QVERIFY(activityShown(panel));
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("1"));
    bool ok = false;
    std::string from;
    const QByteArray probe = receiver.receive(2000, &ok, &from);
    QVERIFY(ok);
    QCOMPARE(probe.size(), 1000);
    QCOMPARE(sequenceOf(probe), 1u);
    panel.OnPanelTick(1);
    QVERIFY(!activityShown(panel));
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CAddTx::periodOneSendsEverySecond()
{
    UdpPeer receiver(9202);
    QVERIFY(receiver.join(GROUP));
    CAddTx panel;
    startSending(panel, 9202, 1);
    for (quint32 expected = 1; expected <= 3; ++expected) {
        QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("1"));
        oneSecond(panel);
        bool ok = false;
        QCOMPARE(sequenceOf(receiver.receive(2000, &ok)), expected);
        QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QString::number(expected));
    }
}

void tst_CAddTx::pauseFreezesAndUnpauseResumes()
{
    UdpPeer receiver(9203);
    QVERIFY(receiver.join(GROUP));
    CAddTx panel;
    startSending(panel, 9203, 3);
    oneSecond(panel);
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("2"));

    clickButton(&panel, "IDC_TX_PAUSE");
    QCOMPARE(panel.GetState(), STATE_PAUSED);
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_PAUSE")->text(), QStringLiteral("Unpause"));
    for (int i = 0; i < 5; ++i)
        oneSecond(panel);
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("2"));
    bool ok = true;
    receiver.receive(50, &ok);
    QVERIFY(!ok);
    for (const char* id : SETTINGS)
        QVERIFY2(control<QLineEdit>(&panel, id)->isReadOnly(), id);

    clickButton(&panel, "IDC_TX_PAUSE");
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_PAUSE")->text(), QStringLiteral("Pause"));
    oneSecond(panel);
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("1"));
    oneSecond(panel);
    QCOMPARE(sequenceOf(receiver.receive(2000, &ok)), 1u);
}

void tst_CAddTx::stopFromPausedAndRestart()
{
    UdpPeer receiver(9204);
    QVERIFY(receiver.join(GROUP));
    CAddTx panel;
    startSending(panel, 9204, 1);
    const QString firstSourcePort = textOf(&panel, "IDC_TX_SRC_PORT");
    oneSecond(panel);
    oneSecond(panel);
    clickButton(&panel, "IDC_TX_PAUSE");
    clickButton(&panel, "IDC_TX_START");

    QCOMPARE(panel.GetState(), STATE_STOPPED);
    auto* pause = control<QPushButton>(&panel, "IDC_TX_PAUSE");
    QCOMPARE(pause->text(), QStringLiteral("Pause"));
    QVERIFY(!pause->isEnabled());
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_START")->text(), QStringLiteral("Start"));
    QCOMPARE(textOf(&panel, "IDC_TX_COUNTDOWN"), QStringLiteral("0"));
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("2"));
    QCOMPARE(textOf(&panel, "IDC_TX_SRC_PORT"), firstSourcePort);
    oneSecond(panel);
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("2"));

    // Keep the first socket's port taken, so the new socket cannot get it again.
    UdpPeer holdsOldPort(firstSourcePort.toUShort());
    clickButton(&panel, "IDC_TX_START");
    QCOMPARE(textOf(&panel, "IDC_TX_LAST_SEQ"), QStringLiteral("0"));
    QVERIFY(textOf(&panel, "IDC_TX_SRC_PORT") != firstSourcePort);
    oneSecond(panel);
    bool ok = false;
    QCOMPARE(sequenceOf(receiver.receive(2000, &ok)), 1u);
    QCOMPARE(sequenceOf(receiver.receive(2000, &ok)), 2u);
    std::string from;
    QCOMPARE(sequenceOf(receiver.receive(2000, &ok, &from)), 1u);
}

void tst_CAddTx::lockingFollowsStateAndRandomise()
{
    CAddTx panel;
    panel.show();
    auto* size = control<QLineEdit>(&panel, "IDC_TX_PACKET_SIZE");
    auto* randomise = control<QCheckBox>(&panel, "IDC_TX_RANDOMISE");
    auto* interface = control<QComboBox>(&panel, "IDC_TX_INTERFACE");
    clickButton(&panel, "IDC_TX_RANDOMISE");
    QVERIFY(!size->isEnabled());
    clickButton(&panel, "IDC_TX_RANDOMISE");
    QVERIFY(size->isEnabled());

    clickButton(&panel, "IDC_TX_START");
    QVERIFY(!randomise->isEnabled());
    QVERIFY(!interface->isEnabled());
    for (const char* id : SETTINGS)
        QVERIFY2(control<QLineEdit>(&panel, id)->isReadOnly(), id);
    clickButton(&panel, "IDC_TX_START");
    QVERIFY(randomise->isEnabled());
    QVERIFY(interface->isEnabled());
    for (const char* id : SETTINGS)
        QVERIFY2(!control<QLineEdit>(&panel, id)->isReadOnly(), id);

    clickButton(&panel, "IDC_TX_RANDOMISE");
    clickButton(&panel, "IDC_TX_START");
    QVERIFY(!size->isReadOnly()); // disabled instead, by the box
    QVERIFY(!size->isEnabled());
}

void tst_CAddTx::queryClose_data()
{
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("pause");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("stopped: no question") << false << false << QMessageBox::Cancel << true;
    QTest::newRow("running, Yes") << true << false << QMessageBox::Yes << true;
    QTest::newRow("running, No") << true << false << QMessageBox::No << true;
    QTest::newRow("running, Cancel") << true << false << QMessageBox::Cancel << false;
    QTest::newRow("paused, Cancel") << true << true << QMessageBox::Cancel << false;
    QTest::newRow("paused, No") << true << true << QMessageBox::No << true;
}

void tst_CAddTx::queryClose()
{
    QFETCH(bool, start);
    QFETCH(bool, pause);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, closes);
    MessageBoxRecorder boxes(answer);
    CAddTx panel;
    panel.show();
    if (start)
        clickButton(&panel, "IDC_TX_START");
    if (pause)
        clickButton(&panel, "IDC_TX_PAUSE");
    const RunState state = panel.GetState();
    QCOMPARE(panel.QueryClose(), closes);
    QCOMPARE(panel.GetState(), state);
    if (!start) {
        QVERIFY(boxes.boxes.isEmpty());
        return;
    }
    QCOMPARE(boxes.boxes.size(), 1);
    const MessageBoxRequest& box = boxes.boxes.at(0);
    QCOMPARE(box.caption, QStringLiteral("Close Transmitter"));
    QCOMPARE(box.text,
        QStringLiteral("The transmitter is still running.\n\nDo you wish to transmit a "
                       "\"Transmitter Stopping\" message before stopping it ?"));
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.owner.data(), &panel);
}

void tst_CAddTx::failedSocketCreationKeepsStartLookAndRetries()
{
    MessageBoxRecorder boxes;
    CAddTx panel;
    panel.show();
    rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // With no descriptor left to give, the socket cannot be made.
    rlimit none = saved;
    none.rlim_cur = 0;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
    clickButton(&panel, "IDC_TX_START");
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);

    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Failed to Create transmit socket"));
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("CAddTx::StartTransmitter()"));
    QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    QCOMPARE(control<QPushButton>(&panel, "IDC_TX_START")->text(), QStringLiteral("Stop"));
    QVERIFY(control<QPushButton>(&panel, "IDC_TX_PAUSE")->isEnabled());
    QVERIFY(control<QLineEdit>(&panel, "IDC_TX_GROUP")->isReadOnly());
    clickButton(&panel, "IDC_TX_PAUSE");
    QCOMPARE(panel.GetState(), STATE_STOPPED);
    oneSecond(panel);
    QVERIFY(panel.QueryClose());

    clickButton(&panel, "IDC_TX_START");
    QCOMPARE(panel.GetState(), STATE_RUNNING);
    QCOMPARE(boxes.boxes.size(), 1);
}

QTEST_MAIN(tst_CAddTx)
#include "tst_caddtx.moc"
