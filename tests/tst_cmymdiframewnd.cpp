#include "CMyMDIFrameWnd.h"

#include "CAddRx.h"
#include "CAddTx.h"
#include "CListCtrl.h"
#include "CLogoClientWnd.h"
#include "CMyApp.h"
#include "CRxMDIChildWnd.h"
#include "CTxMDIChildWnd.h"
#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Widgets.h"
#include "resource.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include <sys/resource.h>

namespace {

// Stands in for a panel and writes down every tick it gets.
class TickLog : public QWidget {
public:
    explicit TickLog(QList<QPair<QWidget*, int>>* log)
        : m_log(log)
    {
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == WM_PANEL_TICK) {
            m_log->append({ this, static_cast<CPanelTickEvent*>(event)->Phase() });
            return true;
        }
        return QWidget::event(event);
    }

private:
    QList<QPair<QWidget*, int>>* m_log;
};

bool actionEnabled(CMyMDIFrameWnd* frame, int id) { return frame->CommandAction(id)->isEnabled(); }

} // namespace

class tst_CMyMDIFrameWnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menuBar();
    void startFailsWithoutSockets();
    void greying_data();
    void greying();
    void windowCommandsFollowActiveChild();
    void windowListNamesChildren();
    void tickPhasesAndOrder();
    void closedPanelGetsNoTick();
    void transmitterWindow();
    void receiverWindowResizesButNeverShrinks();
    void enterAndEscapeNeverClosePanels_data();
    void enterAndEscapeNeverClosePanels();
    void closingRunningTransmitter_data();
    void closingRunningTransmitter();
    void closingMainWindowAsksNothing();
    void backdropIsGreyWithBanner();

private:
    std::unique_ptr<CMyApp> m_app;
    CMyMDIFrameWnd* frame() const { return m_app->MainFrame(); }
    QList<QMdiSubWindow*> children() const { return frame()->MdiClient()->subWindowList(); }
};

void tst_CMyMDIFrameWnd::initTestCase() { REQUIRE_ISOLATED_NETWORK(); }

void tst_CMyMDIFrameWnd::init()
{
    m_app = std::make_unique<CMyApp>();
    QVERIFY(m_app->InitInstance());
    QVERIFY(QTest::qWaitForWindowExposed(frame()));
}

void tst_CMyMDIFrameWnd::cleanup() { m_app.reset(); }

void tst_CMyMDIFrameWnd::menuBar()
{
    QCOMPARE(frame()->windowTitle(), QStringLiteral("Lumivox Tool"));
    QStringList popups;
    QStringList items;
    for (QAction* popup : frame()->menuBar()->actions()) {
        popups << popup->text();
        for (QAction* item : popup->menu()->actions())
            items << item->text();
    }
    QCOMPARE(popups, QStringList({ "&File", "&Add", "&View", "&Tools", "&Window", "&Help" }));
    QCOMPARE(items,
        QStringList({ "&Save", "E&xit", "&Transmitter", "&Receiver", "&Log", "&Send test SNMP Trap",
            "&Next", "Cl&ose", "&Tile", "&Cascade", "&About..." }));
}

void tst_CMyMDIFrameWnd::startFailsWithoutSockets()
{
    MessageBoxRecorder boxes;
    CMyApp second;
    rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
    const bool started = second.InitInstance();
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
    QVERIFY(!started);
    QCOMPARE(second.MainFrame(), nullptr);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Windows Sockets initialisation failed"));
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Lumivox Tool"));
}

void tst_CMyMDIFrameWnd::greying_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Save") << ID_FILE_SAVE << false;
    QTest::newRow("Exit") << ID_FILE_EXIT << false;
    QTest::newRow("SNMP trap") << ID_TOOLS_SNMP_TRAP << false;
    QTest::newRow("About") << ID_HELP_ABOUT << false;
    QTest::newRow("Add Transmitter") << ID_ADD_TRANSMITTER << true;
    QTest::newRow("Add Receiver") << ID_ADD_RECEIVER << true;
    QTest::newRow("View Log") << ID_VIEW_LOG << true;
}

void tst_CMyMDIFrameWnd::greying()
{
    QFETCH(int, command);
    QFETCH(bool, enabled);
    QCOMPARE(actionEnabled(frame(), command), enabled);
    frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
    QCOMPARE(actionEnabled(frame(), command), enabled);
    // View > Log does nothing.
    const int before = children().size();
    frame()->CommandAction(ID_VIEW_LOG)->trigger();
    QCOMPARE(children().size(), before);
}

void tst_CMyMDIFrameWnd::windowCommandsFollowActiveChild()
{
    const int commands[]
        = { ID_WINDOW_NEXT, ID_WINDOW_CLOSE, ID_WINDOW_TILE_HORZ, ID_WINDOW_CASCADE };
    for (int id : commands)
        QVERIFY(!actionEnabled(frame(), id));
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
    QCOMPARE(children().size(), 2);
    QCOMPARE(frame()->MDIGetActive(), children().at(1));
    for (int id : commands)
        QVERIFY(actionEnabled(frame(), id));

    frame()->CommandAction(ID_WINDOW_NEXT)->trigger();
    QCOMPARE(frame()->MDIGetActive(), children().at(0));

    frame()->CommandAction(ID_WINDOW_CASCADE)->trigger();
    frame()->CommandAction(ID_WINDOW_TILE_HORZ)->trigger();
    QCOMPARE(children().size(), 2);

    frame()->CommandAction(ID_WINDOW_CLOSE)->trigger();
    QTRY_COMPARE(children().size(), 1);
    frame()->CommandAction(ID_WINDOW_CLOSE)->trigger();
    QTRY_COMPARE(children().size(), 0);
    for (int id : commands)
        QTRY_VERIFY(!actionEnabled(frame(), id));
}

void tst_CMyMDIFrameWnd::windowListNamesChildren()
{
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
    auto* window = qobject_cast<QMenu*>(frame()->CommandAction(ID_WINDOW_NEXT)->parent());
    QVERIFY(window);
    emit window->aboutToShow();
    QStringList listed;
    QAction* first = nullptr;
    for (QAction* action : window->actions()) {
        if (action->isCheckable()) {
            listed << action->text();
            first = first ? first : action;
        }
    }
    QCOMPARE(listed, QStringList({ "&1 Add Transmitter", "&2 Add Receiver" }));
    first->trigger();
    QCOMPARE(frame()->MDIGetActive(), children().at(0));
}

void tst_CMyMDIFrameWnd::tickPhasesAndOrder()
{
    QList<QPair<QWidget*, int>> log;
    TickLog older(&log), newer(&log);
    frame()->AddPanel(&older);
    frame()->AddPanel(&newer);
    QTRY_VERIFY_WITH_TIMEOUT(log.size() >= 16, 5000);
    frame()->RemovePanel(&older);
    frame()->RemovePanel(&newer);
    QVERIFY(!frame()->RemovePanel(&newer));

    for (int i = 0; i + 1 < 16; i += 2) {
        QCOMPARE(log.at(i).first, &newer);
        QCOMPARE(log.at(i + 1).first, &older);
        QCOMPARE(log.at(i).second, log.at(i + 1).second);
        if (i >= 2)
            QCOMPARE(log.at(i).second, (log.at(i - 2).second + 1) % 4);
    }
}

void tst_CMyMDIFrameWnd::closedPanelGetsNoTick()
{
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    auto* panel = qobject_cast<CAddTx*>(children().at(0)->widget());
    QVERIFY(panel);
    QVERIFY(frame()->RemovePanel(panel));
    QVERIFY(!frame()->RemovePanel(panel));
    frame()->AddPanel(panel);
    // Queue a tick for the panel, then close it before the tick is delivered.
    QCoreApplication::postEvent(panel, new CPanelTickEvent(0));
    delete children().at(0);
    QCoreApplication::sendPostedEvents();
    QVERIFY(!frame()->RemovePanel(panel));
}

void tst_CMyMDIFrameWnd::transmitterWindow()
{
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    QMdiSubWindow* child = children().at(0);
    QVERIFY(qobject_cast<CTxMDIChildWnd*>(child));
    QCOMPARE(child->windowTitle(), QStringLiteral("Add Transmitter"));
    QVERIFY(child->isVisible());
    QCOMPARE(frame()->MDIGetActive(), child);
    QVERIFY(!(child->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(child->minimumSize(), child->maximumSize());
    auto* panel = qobject_cast<CAddTx*>(child->widget());
    QVERIFY(panel);
    QCOMPARE(panel->size(), panel->sizeHint());
    // The panel is registered: it gets ticks (its icon is hidden on every one).
    QVERIFY(frame()->RemovePanel(panel));
    frame()->AddPanel(panel);

    const QSize size = child->size();
    child->resize(size + QSize(100, 100));
    QCOMPARE(child->size(), size);
}

void tst_CMyMDIFrameWnd::receiverWindowResizesButNeverShrinks()
{
    frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
    auto* child = qobject_cast<CRxMDIChildWnd*>(children().at(0));
    QVERIFY(child);
    QCOMPARE(child->windowTitle(), QStringLiteral("Add Receiver"));
    QVERIFY(!(child->windowFlags() & Qt::WindowMaximizeButtonHint));
    auto* panel = qobject_cast<CAddRx*>(child->widget());
    QVERIFY(panel);
    auto* list = panel->findChild<CListCtrl*>(QStringLiteral("IDC_RX_SOURCES"));
    const QSize opened = child->size();
    const QSize listOpened = list->size();
    QCOMPARE(child->minimumSize(), opened);

    child->resize(opened + QSize(200, 120));
    QTRY_COMPARE(list->size(), listOpened + QSize(200, 120));
    child->resize(opened - QSize(50, 50));
    QCOMPARE(child->size(), opened);
    QTRY_COMPARE(list->size(), listOpened);
}

void tst_CMyMDIFrameWnd::enterAndEscapeNeverClosePanels_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("transmitter") << ID_ADD_TRANSMITTER << QByteArray("IDC_TX_GROUP");
    QTest::newRow("receiver") << ID_ADD_RECEIVER << QByteArray("IDC_RX_PORT");
}

void tst_CMyMDIFrameWnd::enterAndEscapeNeverClosePanels()
{
    QFETCH(int, command);
    QFETCH(QByteArray, field);
    MessageBoxRecorder boxes;
    frame()->CommandAction(command)->trigger();
    QMdiSubWindow* child = children().at(0);
    QWidget* panel = child->widget();
    auto* edit = control<QLineEdit>(panel, field.constData());
    for (Qt::Key key : { Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape }) {
        QTest::keyClick(edit, key);
        QTest::keyClick(panel, key);
    }
    QTest::qWait(20);
    QCOMPARE(children().size(), 1);
    QVERIFY(child->isVisible());
    QVERIFY(panel->isVisible());
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CMyMDIFrameWnd::closingRunningTransmitter_data()
{
    QTest::addColumn<bool>("viaWindowMenu");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("close box, Cancel") << false << int(IDCANCEL) << false;
    QTest::newRow("close box, Yes") << false << int(IDYES) << true;
    QTest::newRow("Window > Close, Cancel") << true << int(IDCANCEL) << false;
    QTest::newRow("Window > Close, No") << true << int(IDNO) << true;
}

void tst_CMyMDIFrameWnd::closingRunningTransmitter()
{
    QFETCH(bool, viaWindowMenu);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    MessageBoxRecorder boxes(answer);
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    QPointer<QMdiSubWindow> child = children().at(0);
    auto* panel = qobject_cast<CAddTx*>(child->widget());
    clickButton(panel, "IDC_TX_START");
    QCOMPARE(panel->GetState(), int(STATE_RUNNING));

    if (viaWindowMenu)
        frame()->CommandAction(ID_WINDOW_CLOSE)->trigger();
    else
        child->close();
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Close Transmitter"));
    if (closes) {
        QTRY_VERIFY(!child);
        return;
    }
    QTest::qWait(20);
    QVERIFY(child);
    QCOMPARE(panel->GetState(), int(STATE_RUNNING));
}

void tst_CMyMDIFrameWnd::closingMainWindowAsksNothing()
{
    MessageBoxRecorder boxes(IDCANCEL);
    frame()->CommandAction(ID_ADD_TRANSMITTER)->trigger();
    frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
    clickButton(children().at(0)->widget(), "IDC_TX_START");
    clickButton(children().at(1)->widget(), "IDC_RX_START");
    QPointer<QWidget> tx = children().at(0)->widget();
    QVERIFY(frame()->close());
    m_app.reset();
    QVERIFY(!tx);
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CMyMDIFrameWnd::backdropIsGreyWithBanner()
{
    CLogoClientWnd* client = frame()->MdiClient();
    const QImage shown = client->viewport()->grab().toImage();
    const QImage banner(QStringLiteral(RES_LOGO_BITMAP));
    QCOMPARE(banner.size(), QSize(390, 64));
    const QColor grey(128, 128, 128);
    QCOMPARE(shown.pixelColor(shown.width() - 1, shown.height() - 1), grey);
    QCOMPARE(shown.pixelColor(0, 100), grey);
    QCOMPARE(shown.pixelColor(400, 10), grey);
    // Banner pixels land unscaled at the top-left corner.
    int matching = 0, coloured = 0;
    for (int y = 0; y < 64; y += 3) {
        for (int x = 0; x < 390; x += 3) {
            if (banner.pixelColor(x, y) != grey) {
                ++coloured;
                matching += shown.pixelColor(x, y) == banner.pixelColor(x, y);
            }
        }
    }
    QVERIFY(coloured > 100);
    QCOMPARE(matching, coloured);

    for (int i = 0; i < 5; ++i) {
        frame()->CommandAction(ID_ADD_RECEIVER)->trigger();
        client->viewport()->grab();
        delete children().at(0);
    }
    frame()->resize(frame()->size() + QSize(40, 40));
    client->viewport()->grab();
    QCOMPARE(client->LogoLoads(), 1);
}

QTEST_MAIN(tst_CMyMDIFrameWnd)
#include "tst_cmymdiframewnd.moc"
