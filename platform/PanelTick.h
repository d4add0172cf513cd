#pragma once

#include <QEvent>

class QWidget;

// The tick that the main window posts to every panel four times a second.
constexpr int WM_APP = 0x8000;
constexpr QEvent::Type WM_PANEL_TICK = static_cast<QEvent::Type>(WM_APP);

class CPanelTickEvent : public QEvent {
public:
    explicit CPanelTickEvent(int phase)
        : QEvent(WM_PANEL_TICK)
        , m_nPhase(phase)
    {
    }

    int Phase() const { return m_nPhase; }

private:
    int m_nPhase = 0;
};

// What a panel registers with to receive the tick: the application's main window.
class CPanelHost {
public:
    virtual ~CPanelHost() = default;
    virtual bool AddPanel(QWidget* panel) = 0;
    virtual bool RemovePanel(QWidget* panel) = 0;
};

// The application's main window, or nullptr while there is none.
QWidget* AfxGetMainWnd();
void AfxSetMainWnd(QWidget* window);
// The main window as the panels' register, or nullptr.
CPanelHost* AfxGetPanelHost();
