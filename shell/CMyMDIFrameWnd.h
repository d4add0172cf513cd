#pragma once

#include "PanelTick.h"

#include <QMainWindow>
#include <QTimer>

#include <list>

class CLogoClientWnd;
class QAction;
class QMdiSubWindow;
class QMenu;

constexpr int IDT_PANEL_TICK = 1;
constexpr int PANEL_TICK_MS = 250;

// The main window: the menu bar, the panels' child windows and the tick that drives
// every panel.
class CMyMDIFrameWnd : public QMainWindow, public CPanelHost {
    Q_OBJECT

public:
    CMyMDIFrameWnd();
    ~CMyMDIFrameWnd() override;

    bool AddPanel(QWidget* panel) override;
    bool RemovePanel(QWidget* panel) override;

    // The menu item of a command; a command is enabled once it has a handler.
    QAction* CommandAction(int id) const;
    template <class Receiver, class Handler>
    void ConnectCommand(int id, Receiver* receiver, Handler handler);

    CLogoClientWnd* MdiClient() const { return m_wndLogoClient; }
    QMdiSubWindow* MDIGetActive() const;
    static int TickPhase() { return s_nTickPhase; }

private:
    void CreateMenus();
    void OnTimer();
    void OnWindowNext();
    void OnWindowClose();
    void OnWindowTile();
    void OnWindowCascade();
    void OnUpdateWindowCmd();
    void UpdateWindowList();

    std::list<QWidget*> m_panels;
    CLogoClientWnd* m_wndLogoClient = nullptr;
    QTimer m_timer;
    QMenu* m_pWindowMenu = nullptr;
    QList<QAction*> m_windowListActions;
    static int s_nTickPhase;
};

template <class Receiver, class Handler>
void CMyMDIFrameWnd::ConnectCommand(int id, Receiver* receiver, Handler handler)
{
    QAction* action = CommandAction(id);
    connect(action, &QAction::triggered, receiver, handler);
    action->setEnabled(true);
}
