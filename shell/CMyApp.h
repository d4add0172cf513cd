#pragma once

#include <QObject>
#include <QRect>

#include <memory>

class CAddRx;
class CAddTx;
class CCommandLine;
class CMyMDIFrameWnd;
class QMdiSubWindow;

// Starts the program and carries out the commands that open panels.
class CMyApp : public QObject {
    Q_OBJECT

public:
    CMyApp();
    ~CMyApp() override;

    // False when the program cannot run; the user has been told why.
    bool InitInstance();

    void OnAddTransmitter();
    void OnAddReceiver();
    void OnViewLog();
    // Opens and starts the panels the command line asks for.
    void OpenPanels(const CCommandLine& options);

    CMyMDIFrameWnd* MainFrame() const { return m_pMainFrame.get(); }

private:
    CAddTx* AddTransmitter();
    CAddRx* AddReceiver();
    QRect FitChildToPanel(QMdiSubWindow* child, QWidget* panel, const QString& caption);

    std::unique_ptr<CMyMDIFrameWnd> m_pMainFrame;
};
