#include "shell/CMyMDIFrameWnd.h"

#include "platform/Application.h"
#include "shell/CLogoClientWnd.h"

#include <QAction>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

int CMyMDIFrameWnd::s_nTickPhase = 0;

CMyMDIFrameWnd::CMyMDIFrameWnd()
{
    setWindowTitle(QLatin1String(APPLICATION_NAME));
    m_wndLogoClient = new CLogoClientWnd(this);
    setCentralWidget(m_wndLogoClient);
    CreateActions();
    CreateMenus();
    connect(
        m_wndLogoClient, &QMdiArea::subWindowActivated, this, &CMyMDIFrameWnd::OnUpdateWindowCmd);
    // Re-armed after each broadcast, so the next one comes a full period after this one.
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CMyMDIFrameWnd::OnTimer);
    m_timer.start(PANEL_TICK_MS);
    // Room for a transmitter and a receiver side by side, where the screen allows it.
    QSize size(1280, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);
}

CMyMDIFrameWnd::~CMyMDIFrameWnd()
{
    m_timer.stop();
    // Panels leave the list while they are destroyed, so they must go while it exists.
    qDeleteAll(m_wndLogoClient->subWindowList());
}

void CMyMDIFrameWnd::CreateActions()
{
    const auto action = [this](const char* text, const char* id) {
        auto* created = new QAction(tr(text), this);
        created->setObjectName(QLatin1String(id));
        return created;
    };
    m_actFileSave = action("&Save", "ID_FILE_SAVE");
    m_actFileExit = action("E&xit", "ID_FILE_EXIT");
    m_actAddTransmitter = action("&Transmitter", "ID_ADD_TRANSMITTER");
    m_actAddReceiver = action("&Receiver", "ID_ADD_RECEIVER");
    m_actViewLog = action("&Log", "ID_VIEW_LOG");
    m_actToolsSnmpTrap = action("&Send test SNMP Trap", "ID_TOOLS_SNMP_TRAP");
    m_actWindowNext = action("&Next", "ID_WINDOW_NEXT");
    m_actWindowClose = action("Cl&ose", "ID_WINDOW_CLOSE");
    m_actWindowTile = action("&Tile", "ID_WINDOW_TILE_HORZ");
    m_actWindowCascade = action("&Cascade", "ID_WINDOW_CASCADE");
    m_actHelpAbout = action("&About...", "ID_HELP_ABOUT");

    // Commands that nothing carries out yet are shown, greyed.
    for (QAction* idle : { m_actFileSave, m_actFileExit, m_actToolsSnmpTrap, m_actHelpAbout })
        idle->setEnabled(false);

    connect(m_actWindowNext, &QAction::triggered, this, &CMyMDIFrameWnd::OnWindowNext);
    connect(m_actWindowClose, &QAction::triggered, this, &CMyMDIFrameWnd::OnWindowClose);
    connect(m_actWindowTile, &QAction::triggered, this, &CMyMDIFrameWnd::OnWindowTile);
    connect(m_actWindowCascade, &QAction::triggered, this, &CMyMDIFrameWnd::OnWindowCascade);
    OnUpdateWindowCmd();
}

void CMyMDIFrameWnd::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addActions({ m_actFileSave, m_actFileExit });
    QMenu* add = menuBar()->addMenu(tr("&Add"));
    add->addActions({ m_actAddTransmitter, m_actAddReceiver });
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_actViewLog);
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->addAction(m_actToolsSnmpTrap);
    m_pWindowMenu = menuBar()->addMenu(tr("&Window"));
    m_pWindowMenu->addActions(
        { m_actWindowNext, m_actWindowClose, m_actWindowTile, m_actWindowCascade });
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMyMDIFrameWnd::UpdateWindowList);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(m_actHelpAbout);
}

void CMyMDIFrameWnd::AddChild(QMdiSubWindow* child, QWidget* panel, std::function<void(int)> tick)
{
    m_wndLogoClient->addSubWindow(child);
    m_panels.push_front({ panel, std::move(tick) });
    connect(panel, &QObject::destroyed, this, &CMyMDIFrameWnd::RemovePanel);
}

// A panel being destroyed has had its guarded pointer cleared already.
void CMyMDIFrameWnd::RemovePanel()
{
    m_panels.remove_if([](const TickedPanel& entry) { return !entry.widget; });
}

// Queued, never called directly: a panel handles its tick after the whole broadcast, and a
// tick still queued for a panel that closes meanwhile is dropped with it.
void CMyMDIFrameWnd::OnTimer()
{
    const int phase = s_nTickPhase;
    for (const TickedPanel& panel : m_panels) {
        if (panel.widget)
            QMetaObject::invokeMethod(
                panel.widget, [tick = panel.tick, phase] { tick(phase); }, Qt::QueuedConnection);
    }
    s_nTickPhase = (s_nTickPhase + 1) % TICK_PHASES;
    m_timer.start(PANEL_TICK_MS);
}

QMdiSubWindow* CMyMDIFrameWnd::MDIGetActive() const
{
    // The current child stays current while the main window itself is inactive.
    return m_wndLogoClient->currentSubWindow();
}

void CMyMDIFrameWnd::OnWindowNext() { m_wndLogoClient->activateNextSubWindow(); }

// Closes as the child's own close button would, after this command has returned; a running
// transmitter may still refuse.
void CMyMDIFrameWnd::OnWindowClose()
{
    if (QMdiSubWindow* active = MDIGetActive())
        QMetaObject::invokeMethod(active, &QWidget::close, Qt::QueuedConnection);
}

void CMyMDIFrameWnd::OnWindowTile() { m_wndLogoClient->tileSubWindows(); }

void CMyMDIFrameWnd::OnWindowCascade() { m_wndLogoClient->cascadeSubWindows(); }

void CMyMDIFrameWnd::OnUpdateWindowCmd()
{
    const bool active = MDIGetActive() != nullptr;
    for (QAction* command :
        { m_actWindowNext, m_actWindowClose, m_actWindowTile, m_actWindowCascade })
        command->setEnabled(active);
}

// The open child windows by caption, below the Window commands; choosing one activates it.
void CMyMDIFrameWnd::UpdateWindowList()
{
    qDeleteAll(m_windowListActions);
    m_windowListActions.clear();
    OnUpdateWindowCmd();
    const QList<QMdiSubWindow*> windows = m_wndLogoClient->subWindowList();
    if (windows.isEmpty())
        return;
    m_windowListActions.append(m_pWindowMenu->addSeparator());
    int number = 0;
    for (QMdiSubWindow* window : windows) {
        ++number;
        const QString prefix
            = number < 10 ? QStringLiteral("&%1 ").arg(number) : QStringLiteral("%1 ").arg(number);
        QAction* action = m_pWindowMenu->addAction(prefix + window->windowTitle());
        action->setCheckable(true);
        action->setChecked(window == MDIGetActive());
        connect(action, &QAction::triggered, window,
            [this, window] { m_wndLogoClient->setActiveSubWindow(window); });
        m_windowListActions.append(action);
    }
}
