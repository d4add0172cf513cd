#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Widgets.h"

#include "platform/CIconStatic.h"
#include "receiver/CAddRx.h"
#include "shell/CHeadless.h"
#include "transmitter/CAddTx.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTreeView>
#include <QtTest>

namespace {

bool hasMulticastRoute()
{
    QProcess route;
    route.start(QStringLiteral("ip"),
        { QStringLiteral("route"), QStringLiteral("get"), QStringLiteral("234.5.6.7") });
    return route.waitForFinished() && route.exitCode() == 0;
}

bool multicastRoute(const char* change)
{
    return QProcess::execute(QStringLiteral("ip"),
               { QStringLiteral("route"), QLatin1String(change), QStringLiteral("224.0.0.0/4"),
                   QStringLiteral("dev"), QStringLiteral("lo") })
        == 0;
}

} // namespace

// Faults of the network under the panels. Runs in a namespace of its own that starts
// without a route for multicast (tests/isolated-net --no-multicast-route).
class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void failedSendsAreShownAndUseUpTheirNumbers();
    void headlessTransmitterPrintsTheFailure();
};

void tst_Faults::initTestCase()
{
    REQUIRE_ISOLATED_NETWORK();
    QVERIFY2(!hasMulticastRoute(), "this test needs a namespace without a multicast route");
}

// Every function starts without the route, whatever the one before did.
void tst_Faults::init()
{
    if (hasMulticastRoute())
        QVERIFY(multicastRoute("del"));
}

void tst_Faults::headlessTransmitterPrintsTheFailure()
{
    CCommandLine options;
    QCOMPARE(options.Parse({ "lumivox-tool", "--headless", "--json", "--transmit", "234.5.6.7:9802",
                 "--period", "1", "--duration", "3" }),
        CCommandLine::Outcome::Run);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CHeadless headless(options, outStream, errStream);
    QCOMPARE(headless.Exec(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 2, qPrintable(out));
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject probe = QJsonDocument::fromJson(lines.at(i).toUtf8()).object();
        QCOMPARE(probe[QLatin1String("seq")].toInt(), i + 1);
        QCOMPARE(
            probe[QLatin1String("error")].toString(), QStringLiteral("Network is unreachable"));
    }
}

void tst_Faults::failedSendsAreShownAndUseUpTheirNumbers()
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
    QCOMPARE(transmitter.GetState(), STATE_RUNNING);
    auto* status = control<QLabel>(&transmitter, "IDC_TX_STATUS");
    auto* lamp = control<CIconStatic>(&transmitter, "IDC_TX_ACTIVITY");
    QVERIFY(status->text().isEmpty());

    for (int second = 1; second <= 3; ++second) {
        transmitter.OnPanelTick(0);
        QCOMPARE(textOf(&transmitter, "IDC_TX_LAST_SEQ"), QString::number(second));
        QCOMPARE(status->text(), QStringLiteral("Send failed: Network is unreachable"));
        QVERIFY(!lamp->IsIconShown());
    }
    QTest::qWait(100);
    QCOMPARE(control<QTreeView>(&receiver, "IDC_RX_SOURCES")->model()->rowCount(), 0);
    QCOMPARE(transmitter.GetState(), STATE_RUNNING);

    // The route comes back: the next probe leaves, the line clears and the lamp lights.
    QVERIFY(multicastRoute("add"));
    transmitter.OnPanelTick(0);
    QVERIFY(status->text().isEmpty());
    QVERIFY(lamp->IsIconShown());
    QCOMPARE(textOf(&transmitter, "IDC_TX_LAST_SEQ"), QStringLiteral("4"));
    QVERIFY(boxes.boxes.isEmpty());
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
