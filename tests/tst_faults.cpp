#include "CAddRx.h"
#include "CAddTx.h"
#include "CListCtrl.h"
#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Widgets.h"

#include <QProcess>
#include <QtTest>

// Faults of the network under the panels. Runs in a namespace without a route for
// multicast (tests/isolated-net --no-multicast-route).
class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsWithoutRouteAdvanceSilently();
};

void tst_Faults::initTestCase()
{
    REQUIRE_ISOLATED_NETWORK();
    QProcess route;
    route.start(QStringLiteral("ip"),
        { QStringLiteral("route"), QStringLiteral("get"), QStringLiteral("234.5.6.7") });
    QVERIFY(route.waitForFinished());
    QVERIFY2(route.exitCode() != 0, "this test needs a namespace without a multicast route");
}

void tst_Faults::sendsWithoutRouteAdvanceSilently()
{
    MessageBoxRecorder boxes;
    CAddRx receiver;
    receiver.show();
    typeInto(&receiver, "IDC_RX_PORT", QStringLiteral("9801"));
    // Joining needs the route too; this receiver only listens on the port.
    control<QAbstractButton>(&receiver, "IDC_RX_JOIN_CHECK")->setChecked(false);
    clickButton(&receiver, "IDC_RX_START");
    CAddTx transmitter;
    transmitter.show();
    typeInto(&transmitter, "IDC_TX_PORT", QStringLiteral("9801"));
    typeInto(&transmitter, "IDC_TX_FREQUENCY", QStringLiteral("1"));
    clickButton(&transmitter, "IDC_TX_START");
    QCOMPARE(transmitter.GetState(), int(STATE_RUNNING));

    for (int second = 1; second <= 3; ++second) {
        QCOMPARE(transmitter.SendProbe() == SOCKET_ERROR, true);
        QCOMPARE(textOf(&transmitter, "IDC_TX_LAST_SEQ").toUInt() + 1, transmitter.m_nLastSequence);
        postTick(&transmitter, 0);
        QCOMPARE(transmitter.m_nLastSequence, quint32(2 * second));
    }
    QCOMPARE(textOf(&transmitter, "IDC_TX_LAST_SEQ"), QStringLiteral("6"));
    QTest::qWait(100);
    QCOMPARE(control<CListCtrl>(&receiver, "IDC_RX_SOURCES")->GetItemCount(), 0);
    QCOMPARE(transmitter.GetState(), int(STATE_RUNNING));
    QVERIFY(boxes.boxes.isEmpty());
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
