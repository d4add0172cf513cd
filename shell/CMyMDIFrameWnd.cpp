#include "CMyMDIFrameWnd.h"

#include "CLogoClientWnd.h"
#include "resource.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

int CMyMDIFrameWnd::s_nTickPhase = 0;

namespace {

struct MenuItem {
    const char* popup;
    const char* text;
    int id;
    const char* name;
};

constexpr MenuItem MENU[] = {
    { "&File", "&Save", ID_FILE_SAVE, "ID_FILE_SAVE" },
    { "&File", "E&xit", ID_FILE_EXIT, "ID_FILE_EXIT" },
    { "&Add", "&Transmitter", ID_ADD_TRANSMITTER, "ID_ADD_TRANSMITTER" },
    { "&Add", "&Receiver", ID_ADD_RECEIVER, "ID_ADD_RECEIVER" },
    { "&View", "&Log", ID_VIEW_LOG, "ID_VIEW_LOG" },
    { "&Tools", "&Send test SNMP Trap", ID_TOOLS_SNMP_TRAP, "ID_TOOLS_SNMP_TRAP" },
    { "&Window", "&Next", ID_WINDOW_NEXT, "ID_WINDOW_NEXT" },
    { "&Window", "Cl&ose", ID_WINDOW_CLOSE, "ID_WINDOW_CLOSE" },
    { "&Window", "&Tile", ID_WINDOW_TILE_HORZ, "ID_WINDOW_TILE_HORZ" },
    { "&Window", "&Cascade", ID_WINDOW_CASCADE, "ID_WINDOW_CASCADE" },
    { "&Help", "&About...", ID_HELP_ABOUT, "ID_HELP_ABOUT" },
};

} // namespace

CMyMDIFrameWnd::CMyMDIFrameWnd()
{
    setWindowTitle(QStringLiteral("Lumivox Tool"));
    m_wndLogoClient = new CLogoClientWnd(this);
    setCentralWidget(m_wndLogoClient);
    CreateMenus();
    connect(
        m_wndLogoClient, &QMdiArea::subWindowActivated, this, &CMyMDIFrameWnd::OnUpdateWindowCmd);
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
    // Panels leave the register while they are destroyed, so they must go while it exists.
    m_timer.stop();
    qDeleteAll(m_wndLogoClient->subWindowList());
}

void CMyMDIFrameWnd::CreateMenus()
{
    QMenu* popup = nullptr;
    for (const MenuItem& item : MENU) {
        if (!popup || popup->title() != QLatin1String(item.popup))
            popup = menuBar()->addMenu(QLatin1String(item.popup));
        QAction* action = popup->addAction(QLatin1String(item.text));
        action->setObjectName(QLatin1String(item.name));
        action->setData(item.id);
        // No handler, no use: greyed until a handler is connected.
        action->setEnabled(false);
        if (item.id == ID_WINDOW_NEXT)
            m_pWindowMenu = popup;
    }
    ConnectCommand(ID_WINDOW_NEXT, this, &CMyMDIFrameWnd::OnWindowNext);
    ConnectCommand(ID_WINDOW_CLOSE, this, &CMyMDIFrameWnd::OnWindowClose);
    ConnectCommand(ID_WINDOW_TILE_HORZ, this, &CMyMDIFrameWnd::OnWindowTile);
    ConnectCommand(ID_WINDOW_CASCADE, this, &CMyMDIFrameWnd::OnWindowCascade);
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMyMDIFrameWnd::UpdateWindowList);
    OnUpdateWindowCmd();
}

QAction* CMyMDIFrameWnd::CommandAction(int id) const
{
    const QList<QAction*> actions = menuBar()->findChildren<QAction*>();
    for (QAction* action : actions) {
        if (action->data().toInt() == id && !action->objectName().isEmpty())
            return action;
    }
    return nullptr;
}

bool CMyMDIFrameWnd::AddPanel(QWidget* panel)
{
    m_panels.push_front(panel);
    return true;
}

bool CMyMDIFrameWnd::RemovePanel(QWidget* panel)
{
    const auto found = std::find(m_panels.begin(), m_panels.end(), panel);
    if (found == m_panels.end())
        return false;
    m_panels.erase(found);
    return true;
}

// Posted, never sent: a panel handles its tick after the whole broadcast, and a tick still
// queued for a panel that is destroyed meanwhile is dropped with it.
void CMyMDIFrameWnd::OnTimer()
{
    for (QWidget* panel : m_panels)
        QCoreApplication::postEvent(panel, new CPanelTickEvent(s_nTickPhase));
    if (++s_nTickPhase == 4)
        s_nTickPhase = 0;
    m_timer.start(PANEL_TICK_MS);
}

QMdiSubWindow* CMyMDIFrameWnd::MDIGetActive() const
{
    // The current child stays current while the main window itself is inactive.
    return m_wndLogoClient->currentSubWindow();
}

void CMyMDIFrameWnd::OnWindowNext() { m_wndLogoClient->activateNextSubWindow(); }

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
    for (int id : { ID_WINDOW_NEXT, ID_WINDOW_CLOSE, ID_WINDOW_TILE_HORZ, ID_WINDOW_CASCADE })
        CommandAction(id)->setEnabled(active);
}

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
