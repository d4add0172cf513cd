#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <list>

class CLogoClientWnd;
class QAction;
class QMdiSubWindow;
class QMenu;

constexpr int PANEL_TICK_MS = 250;
// Phases 0 to 3, so phase 0 comes once a second.
constexpr int TICK_PHASES = 4;

// The main window: the menu bar, the panels' child windows and the tick that drives
// every panel.
class CMyMDIFrameWnd : public QMainWindow {
    Q_OBJECT

public:
    CMyMDIFrameWnd();
    ~CMyMDIFrameWnd() override;

    // Hosts a panel in a child window of the client area and ticks it from now on, until
    // it is destroyed. The newest panel gets each tick first.
    template <class Panel> void AddPanel(QMdiSubWindow* child, Panel* panel);

    CLogoClientWnd* MdiClient() const { return m_wndLogoClient; }
    QMdiSubWindow* MDIGetActive() const;

    QAction* m_actFileSave = nullptr;
    QAction* m_actFileExit = nullptr;
    QAction* m_actAddTransmitter = nullptr;
    QAction* m_actAddReceiver = nullptr;
    QAction* m_actViewLog = nullptr;
    QAction* m_actToolsSnmpTrap = nullptr;
    QAction* m_actWindowNext = nullptr;
    QAction* m_actWindowClose = nullptr;
    QAction* m_actWindowTile = nullptr;
    QAction* m_actWindowCascade = nullptr;
    QAction* m_actHelpAbout = nullptr;

private:
    struct TickedPanel {
        QPointer<QWidget> widget;
        std::function<void(int)> tick;
    };

    void CreateActions();
    void CreateMenus();
    void AddChild(QMdiSubWindow* child, QWidget* panel, std::function<void(int)> tick);
    void RemovePanel();
    void OnTimer();
    void OnWindowNext();
    void OnWindowClose();
    void OnWindowTile();
    void OnWindowCascade();
    void OnUpdateWindowCmd();
    void UpdateWindowList();

    std::list<TickedPanel> m_panels; // the newest first
    CLogoClientWnd* m_wndLogoClient = nullptr;
    QTimer m_timer;
    QMenu* m_pWindowMenu = nullptr;
    QList<QAction*> m_windowListActions;
    static int s_nTickPhase;
};

template <class Panel> void CMyMDIFrameWnd::AddPanel(QMdiSubWindow* child, Panel* panel)
{
    AddChild(child, panel, [panel](int phase) { panel->OnPanelTick(phase); });
}
