#include "shell/CMyMDIFrameWnd.h"

#include "MessageBoxRecorder.h"
#include "NetIsolation.h"
#include "Probes.h"
#include "UdpPeer.h"
#include "Widgets.h"

#include "receiver/CAddRx.h"
#include "res/Pictures.h"
#include "shell/CCommandLine.h"
#include "shell/CLogoClientWnd.h"
#include "shell/CMyApp.h"
#include "shell/CRxMDIChildWnd.h"
#include "shell/CTxMDIChildWnd.h"
#include "transmitter/CAddTx.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QtTest>

#include <sys/resource.h>

namespace {

// Stands in for a panel: says so at every tick it gets, and may act on it.
class TickLog : public QWidget {
    Q_OBJECT

public:
    explicit TickLog(QList<QPair<QObject*, int>>* log = nullptr)
        : m_log(log)
    {
    }

    void OnPanelTick(int phase)
    {
        if (m_log)
            m_log->append({ this, phase });
        emit Ticked(phase);
        if (onTick)
            onTick();
    }

    std::function<void()> onTick;

signals:
    void Ticked(int phase);

private:
    QList<QPair<QObject*, int>>* m_log = nullptr;
};

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
    void commandLineOpensRunningPanels();
    void closingReceiverUnderItsBox_data();
    void closingReceiverUnderItsBox();
    void backdropIsGreyWithBanner();

private:
    std::unique_ptr<CMyApp> m_app;
    CMyMDIFrameWnd* frame() const { return m_app->MainFrame(); }
    QAction* command(const char* id) const
    {
        auto* action = frame()->findChild<QAction*>(QLatin1String(id));
        if (!action)
            qFatal("no command %s", id);
        return action;
    }
    TickLog* addTickLog(QList<QPair<QObject*, int>>* log = nullptr)
    {
        auto* child = new QMdiSubWindow;
        child->setAttribute(Qt::WA_DeleteOnClose);
        auto* panel = new TickLog(log);
        child->setWidget(panel);
        frame()->AddPanel(child, panel);
        return panel;
    }
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
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Save") << QByteArray("ID_FILE_SAVE") << false;
    QTest::newRow("Exit") << QByteArray("ID_FILE_EXIT") << false;
    QTest::newRow("SNMP trap") << QByteArray("ID_TOOLS_SNMP_TRAP") << false;
    QTest::newRow("About") << QByteArray("ID_HELP_ABOUT") << false;
    QTest::newRow("Add Transmitter") << QByteArray("ID_ADD_TRANSMITTER") << true;
    QTest::newRow("Add Receiver") << QByteArray("ID_ADD_RECEIVER") << true;
    QTest::newRow("View Log") << QByteArray("ID_VIEW_LOG") << true;
}

void tst_CMyMDIFrameWnd::greying()
{
    QFETCH(QByteArray, id);
    QFETCH(bool, enabled);
    QCOMPARE(command(id)->isEnabled(), enabled);
    command("ID_ADD_RECEIVER")->trigger();
    QCOMPARE(command(id)->isEnabled(), enabled);
    // View > Log does nothing.
    const int before = children().size();
    command("ID_VIEW_LOG")->trigger();
    QCOMPARE(children().size(), before);
}

void tst_CMyMDIFrameWnd::windowCommandsFollowActiveChild()
{
    const char* const commands[]
        = { "ID_WINDOW_NEXT", "ID_WINDOW_CLOSE", "ID_WINDOW_TILE_HORZ", "ID_WINDOW_CASCADE" };
    for (const char* id : commands)
        QVERIFY(!command(id)->isEnabled());
    command("ID_ADD_TRANSMITTER")->trigger();
    command("ID_ADD_RECEIVER")->trigger();
    QCOMPARE(children().size(), 2);
    QCOMPARE(frame()->MDIGetActive(), children().at(1));
    for (const char* id : commands)
        QVERIFY(command(id)->isEnabled());

    command("ID_WINDOW_NEXT")->trigger();
    QCOMPARE(frame()->MDIGetActive(), children().at(0));

    command("ID_WINDOW_CASCADE")->trigger();
    command("ID_WINDOW_TILE_HORZ")->trigger();
    QCOMPARE(children().size(), 2);

    command("ID_WINDOW_CLOSE")->trigger();
    QTRY_COMPARE(children().size(), 1);
    command("ID_WINDOW_CLOSE")->trigger();
    QTRY_COMPARE(children().size(), 0);
    for (const char* id : commands)
        QTRY_VERIFY(!command(id)->isEnabled());
}

void tst_CMyMDIFrameWnd::windowListNamesChildren()
{
    command("ID_ADD_TRANSMITTER")->trigger();
    command("ID_ADD_RECEIVER")->trigger();
    QMenu* window = nullptr;
    for (QAction* popup : frame()->menuBar()->actions())
        window = popup->text() == QLatin1String("&Window") ? popup->menu() : window;
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
    QList<QPair<QObject*, int>> log;
    TickLog* older = addTickLog(&log);
    TickLog* newer = addTickLog(&log);
    QSignalSpy olderTicks(older, &TickLog::Ticked);
    QTRY_VERIFY_WITH_TIMEOUT(olderTicks.size() >= 8, 5000);

    // Both get the same phase in one broadcast, the newest first, and the phase steps 0 to
    // 3 and round again.
    for (int i = 0; i + 1 < 16; i += 2) {
        QCOMPARE(log.at(i).first, newer);
        QCOMPARE(log.at(i + 1).first, older);
        QCOMPARE(log.at(i).second, log.at(i + 1).second);
        if (i >= 2)
            QCOMPARE(log.at(i).second, (log.at(i - 2).second + 1) % TICK_PHASES);
    }
}

// A tick is queued for every panel before any runs; a panel closed meanwhile, here by the
// newer panel's own tick, never gets the one queued for it.
void tst_CMyMDIFrameWnd::closedPanelGetsNoTick()
{
    TickLog* older = addTickLog();
    TickLog* newer = addTickLog();
    QSignalSpy olderTicks(older, &TickLog::Ticked);
    QSignalSpy newerTicks(newer, &TickLog::Ticked);
    QPointer<QMdiSubWindow> olderChild = children().at(0);
    newer->onTick = [&] {
        delete olderChild.data();
        newer->onTick = nullptr;
    };
    QTRY_VERIFY(!olderChild);
    QCOMPARE(olderTicks.size(), 0);
    QTRY_VERIFY(newerTicks.size() >= 2);
}

void tst_CMyMDIFrameWnd::transmitterWindow()
{
    command("ID_ADD_TRANSMITTER")->trigger();
    QMdiSubWindow* child = children().at(0);
    QVERIFY(qobject_cast<CTxMDIChildWnd*>(child));
    QCOMPARE(child->windowTitle(), QStringLiteral("Add Transmitter"));
    QVERIFY(child->isVisible());
    QCOMPARE(frame()->MDIGetActive(), child);
    QVERIFY(!(child->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(child->minimumSize(), child->maximumSize());
    auto* panel = qobject_cast<CAddTx*>(child->widget());
    QVERIFY(panel);
    // The panel is ticked: started with a period of 1 s, it sends within about a second.
    typeInto(panel, "IDC_TX_FREQUENCY", QStringLiteral("1"));
    clickButton(panel, "IDC_TX_START");
    QTRY_COMPARE_WITH_TIMEOUT(textOf(panel, "IDC_TX_LAST_SEQ"), QStringLiteral("1"), 3000);

    const QSize size = child->size();
    child->resize(size + QSize(100, 100));
    QCOMPARE(child->size(), size);
}

void tst_CMyMDIFrameWnd::receiverWindowResizesButNeverShrinks()
{
    command("ID_ADD_RECEIVER")->trigger();
    auto* child = qobject_cast<CRxMDIChildWnd*>(children().at(0));
    QVERIFY(child);
    QCOMPARE(child->windowTitle(), QStringLiteral("Add Receiver"));
    QVERIFY(!(child->windowFlags() & Qt::WindowMaximizeButtonHint));
    auto* panel = qobject_cast<CAddRx*>(child->widget());
    QVERIFY(panel);
    auto* list = control<QTreeView>(panel, "IDC_RX_SOURCES");
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
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("transmitter") << QByteArray("ID_ADD_TRANSMITTER") << QByteArray("IDC_TX_GROUP");
    QTest::newRow("receiver") << QByteArray("ID_ADD_RECEIVER") << QByteArray("IDC_RX_PORT");
}

void tst_CMyMDIFrameWnd::enterAndEscapeNeverClosePanels()
{
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, field);
    MessageBoxRecorder boxes;
    command(id)->trigger();
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
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("close box, Cancel") << false << QMessageBox::Cancel << false;
    QTest::newRow("close box, Yes") << false << QMessageBox::Yes << true;
    QTest::newRow("Window > Close, Cancel") << true << QMessageBox::Cancel << false;
    QTest::newRow("Window > Close, No") << true << QMessageBox::No << true;
}

void tst_CMyMDIFrameWnd::closingRunningTransmitter()
{
    QFETCH(bool, viaWindowMenu);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, closes);
    MessageBoxRecorder boxes(answer);
    command("ID_ADD_TRANSMITTER")->trigger();
    QPointer<QMdiSubWindow> child = children().at(0);
    auto* panel = qobject_cast<CAddTx*>(child->widget());
    clickButton(panel, "IDC_TX_START");
    QCOMPARE(panel->GetState(), STATE_RUNNING);

    if (viaWindowMenu)
        command("ID_WINDOW_CLOSE")->trigger();
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
    QCOMPARE(panel->GetState(), STATE_RUNNING);
}

void tst_CMyMDIFrameWnd::closingMainWindowAsksNothing()
{
    MessageBoxRecorder boxes(QMessageBox::Cancel);
    command("ID_ADD_TRANSMITTER")->trigger();
    command("ID_ADD_RECEIVER")->trigger();
    clickButton(children().at(0)->widget(), "IDC_TX_START");
    clickButton(children().at(1)->widget(), "IDC_RX_START");
    QPointer<QWidget> tx = children().at(0)->widget();
    QVERIFY(frame()->close());
    m_app.reset();
    QVERIFY(!tx);
    QVERIFY(boxes.boxes.isEmpty());
}

// Window > Close stays reachable while a box is up (a screen reader triggers it through the
// menu's accessibility actions, which modality does not block).
void tst_CMyMDIFrameWnd::commandLineOpensRunningPanels()
{
    MessageBoxRecorder boxes;
    CCommandLine options;
    QCOMPARE(
        options.Parse({ "lumivox-tool", "--transmit", "239.1.1.1:9402", "--receive",
            "239.1.1.1:9402", "--no-join", "--ttl", "4", "--period", "2", "--size", "random" }),
        CCommandLine::Outcome::Run);
    m_app->OpenPanels(options);
    QCOMPARE(children().size(), 2);
    auto* tx = qobject_cast<CAddTx*>(children().at(0)->widget());
    auto* rx = qobject_cast<CAddRx*>(children().at(1)->widget());
    QVERIFY(tx && rx);
    QCOMPARE(tx->GetState(), STATE_RUNNING);
    QCOMPARE(textOf(tx, "IDC_TX_GROUP"), QStringLiteral("239.1.1.1"));
    QCOMPARE(textOf(tx, "IDC_TX_PORT"), QStringLiteral("9402"));
    QCOMPARE(textOf(tx, "IDC_TX_TTL"), QStringLiteral("4"));
    QCOMPARE(textOf(tx, "IDC_TX_COUNTDOWN"), QStringLiteral("2"));
    QVERIFY(control<QAbstractButton>(tx, "IDC_TX_RANDOMISE")->isChecked());
    QCOMPARE(rx->GetState(), STATE_RUNNING);
    QVERIFY(!control<QAbstractButton>(rx, "IDC_RX_JOIN_CHECK")->isChecked());
    QVERIFY(control<QAbstractButton>(rx, "IDC_RX_JOIN")->isEnabled());
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CMyMDIFrameWnd::closingReceiverUnderItsBox_data()
{
    QTest::addColumn<bool>("wholeProgram");
    QTest::newRow("Window > Close") << false;
    QTest::newRow("the main window") << true;
}

void tst_CMyMDIFrameWnd::closingReceiverUnderItsBox()
{
    QFETCH(bool, wholeProgram);
    MessageBoxRecorder boxes;
    command("ID_ADD_RECEIVER")->trigger();
    QPointer<QWidget> panel = children().at(0)->widget();
    typeInto(panel, "IDC_RX_PORT", QStringLiteral("9401"));
    clickButton(panel, "IDC_RX_START");
    boxes.setWhileOpen([&] {
        if (wholeProgram) {
            frame()->close();
            m_app.reset();
        } else {
            command("ID_WINDOW_CLOSE")->trigger();
        }
        QTRY_VERIFY(!panel);
    });
    UdpPeer sender;
    sender.sendTo(QByteArray(), "234.5.6.7", 9401);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QTRY_VERIFY(!panel);
    QTest::qWait(50);
    QCOMPARE(boxes.boxes.size(), 1);
}

void tst_CMyMDIFrameWnd::backdropIsGreyWithBanner()
{
    CLogoClientWnd* client = frame()->MdiClient();
    const QImage shown = client->viewport()->grab().toImage();
    const QImage banner = LogoBanner().toImage();
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

    // A child window over the corner covers the banner; gone, it leaves the banner whole.
    command("ID_ADD_RECEIVER")->trigger();
    children().at(0)->move(0, 0);
    QVERIFY(client->viewport()->grab().toImage() != shown);
    delete children().at(0);
    QCOMPARE(client->viewport()->grab().toImage(), shown);
}

QTEST_MAIN(tst_CMyMDIFrameWnd)
#include "tst_cmymdiframewnd.moc"
