#pragma once

#include "monitor/MetricsServer.h"
#include "net/Tick.h"
#include "net/Ticker.h"
#include "shell/LogModel.h"
#include "widgets/Panel.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class HostContext;
class LogoArea;
class QMdiSubWindow;
class MeshPanel;
class ReceiverPanel;
class TransmitterPanel;
struct Options;

// The main window: the menu bar, the panels' child windows and the tick that drives
// every panel.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(HostContext& host);
    ~MainWindow() override;

    TransmitterPanel* addTransmitter();
    ReceiverPanel* addReceiver();
    MeshPanel* addMesh();
    // Opens and starts the panels the command line asks for, tiled.
    void openPanels(const Options& options);
    // The end of --duration: every panel stops as planned, then the program ends.
    void endRun();
    // The verdict of a run that the command line made a test, once it has ended: 3 when it
    // failed, else 0.
    int exitStatus() const { return m_exitStatus; }
    // Serves Prometheus metrics of every panel at [ADDRESS:]PORT; an empty text stops. False,
    // the user told why, when that cannot be.
    bool serveMetrics(const QString& address);

protected:
    // Asks every running transmitter, then stops them as answered; Cancel keeps them all.
    void closeEvent(QCloseEvent* event) override;

private:
    struct HostedPanel {
        QPointer<QWidget> widget; // null once the panel is gone
        Panel* panel() const { return qobject_cast<Panel*>(widget.data()); }
        bool started = false; // once: its title names it from then on
    };

    void createActions();
    void createMenus();
    // Hosts a panel in a child window and ticks it from now on, until it is destroyed.
    template <class PanelWidget> PanelWidget* addPanel(const QString& caption);
    QMdiSubWindow* showChild(QWidget* panel, const QString& caption);
    void tickPanels(int phase);
    // Started panels are named by role and group; a second of one name gets "#2", as in
    // metrics.
    void retitle();
    QString titleOf(const QWidget* panel) const;
    void closeActiveWindow();
    void judgeRun();
    void showLog();
    void saveLog();
    void updateWindowActions();
    void askMetricsAddress();
    bool listenMetrics(const Endpoint& where);
    void sendTestTrap();
    void about();
    ReceiverPanel* activeReceiver() const;
    void collectMetrics(MetricsText& text) const;
    void updateWindowMenu();

    HostContext& m_host;
    LogoArea* m_mdiArea = nullptr;
    LogModel m_log;
    QPointer<QMdiSubWindow> m_logWindow;
    std::vector<HostedPanel> m_panels; // in the order they were opened
    Ticker m_ticker { Tick::secondPhase };
    MetricsServer m_metrics { [this](MetricsText& text) { collectMetrics(text); } };
    QString m_metricsAddress; // as the user gave it; empty while not serving
    std::unique_ptr<Options> m_options; // of the command line, once it opened panels
    bool m_judged = false;
    int m_exitStatus = 0;

    QAction* m_saveAct = nullptr;
    QAction* m_exitAct = nullptr;
    QAction* m_addTransmitterAct = nullptr;
    QAction* m_addReceiverAct = nullptr;
    QAction* m_addMeshAct = nullptr;
    QAction* m_logAct = nullptr;
    QAction* m_snmpTrapAct = nullptr;
    QAction* m_metricsAct = nullptr;
    QAction* m_nextAct = nullptr;
    QAction* m_closeAct = nullptr;
    QAction* m_tileAct = nullptr;
    QAction* m_cascadeAct = nullptr;
    QAction* m_aboutAct = nullptr;
    QAction* m_aboutQtAct = nullptr;
    QMenu* m_windowMenu = nullptr;
    QList<QAction*> m_windowListActions;
};
