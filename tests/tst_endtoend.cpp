#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Widgets.h"

#include "receiver/CAddRx.h"
#include "shell/CMyApp.h"
#include "shell/CMyMDIFrameWnd.h"
#include "transmitter/CAddTx.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QTreeView>
#include <QtTest>

// The whole program driven from its menu, over real multicast inside the test's namespace.
// Each function starts a program with a transmitter (period 1) feeding a receiver.
class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void transmitterFeedsReceiver();
    void receiverRestartKeepsRows();
    void secondTransmitterGetsSecondRow();
    void leaveStopsArrivalsAndJoinRestoresThem();

private:
    CAddTx* addTransmitter();
    CMyMDIFrameWnd* frame() const { return m_app->MainFrame(); }
    QString cell(int row, int column) const
    {
        return m_list->model()->index(row, column).data().toString();
    }
    int rowCount() const { return m_list->model()->rowCount(); }

    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<CMyApp> m_app;
    CAddTx* m_tx = nullptr;
    CAddRx* m_rx = nullptr;
    QTreeView* m_list = nullptr;
};

void tst_EndToEnd::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_EndToEnd::init()
{
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_app = std::make_unique<CMyApp>();
    QVERIFY(m_app->InitInstance());
    m_tx = addTransmitter();
    QCOMPARE(m_tx->GetState(), STATE_RUNNING);

    frame()->m_actAddReceiver->trigger();
    m_rx = qobject_cast<CAddRx*>(frame()->MDIGetActive()->widget());
    QVERIFY(m_rx);
    m_list = control<QTreeView>(m_rx, "IDC_RX_SOURCES");
    typeInto(m_rx, "IDC_RX_PORT", QStringLiteral("9401"));
    clickButton(m_rx, "IDC_RX_START");
    QCOMPARE(m_rx->GetState(), STATE_RUNNING);
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 1, 5000);
}

void tst_EndToEnd::cleanup()
{
    m_app.reset();
    QVERIFY(m_boxes->boxes.isEmpty());
    m_boxes.reset();
}

CAddTx* tst_EndToEnd::addTransmitter()
{
    frame()->m_actAddTransmitter->trigger();
    auto* tx = qobject_cast<CAddTx*>(frame()->MDIGetActive()->widget());
    typeInto(tx, "IDC_TX_PORT", QStringLiteral("9401"));
    typeInto(tx, "IDC_TX_FREQUENCY", QStringLiteral("1"));
    clickButton(tx, "IDC_TX_START");
    return tx;
}

void tst_EndToEnd::transmitterFeedsReceiver()
{
    QCOMPARE(cell(0, 0), QStringLiteral("127.0.0.1"));
    QCOMPARE(cell(0, 1), textOf(m_tx, "IDC_TX_SRC_PORT"));
    QTRY_COMPARE(cell(0, 3), textOf(m_tx, "IDC_TX_LAST_SEQ"));
    QCOMPARE(cell(0, 4), QStringLiteral("1"));
    for (int column = 5; column < 10; ++column)
        QCOMPARE(cell(0, column), QStringLiteral("0"));
    const uint seen = cell(0, 3).toUInt();
    QTRY_VERIFY_WITH_TIMEOUT(cell(0, 3).toUInt() > seen, 3000);
}

void tst_EndToEnd::receiverRestartKeepsRows()
{
    clickButton(m_rx, "IDC_RX_START");
    QCOMPARE(m_rx->GetState(), STATE_STOPPED);
    QCOMPARE(rowCount(), 1);
    const uint before = cell(0, 3).toUInt();
    clickButton(m_rx, "IDC_RX_START");
    QTRY_VERIFY_WITH_TIMEOUT(cell(0, 3).toUInt() > before, 3000);
    QCOMPARE(rowCount(), 1);
    QCOMPARE(cell(0, 9), QStringLiteral("0"));
}

void tst_EndToEnd::secondTransmitterGetsSecondRow()
{
    CAddTx* second = addTransmitter();
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 2, 5000);
    QCOMPARE(cell(1, 1), textOf(second, "IDC_TX_SRC_PORT"));
    QCOMPARE(cell(0, 1), textOf(m_tx, "IDC_TX_SRC_PORT"));
}

void tst_EndToEnd::leaveStopsArrivalsAndJoinRestoresThem()
{
    clickButton(m_rx, "IDC_RX_LEAVE");
    QVERIFY(control<QAbstractButton>(m_rx, "IDC_RX_JOIN")->isEnabled());
    QTest::qWait(300); // what was already queued may still arrive
    const QString frozen = cell(0, 3);
    QTest::qWait(2500);
    QCOMPARE(cell(0, 3), frozen);
    QVERIFY(textOf(m_tx, "IDC_TX_LAST_SEQ").toUInt() > frozen.toUInt());

    clickButton(m_rx, "IDC_RX_JOIN");
    QTRY_VERIFY_WITH_TIMEOUT(cell(0, 3).toUInt() > frozen.toUInt(), 3000);
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
