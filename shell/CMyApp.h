#pragma once

#include <QObject>
#include <QRect>

#include <memory>

class CDialog;
class CMyMDIFrameWnd;
class QMdiSubWindow;

// Starts the program and owns the commands that open panels.
class CMyApp : public QObject {
    Q_OBJECT

public:
    CMyApp();
    ~CMyApp() override;

    // False when the program cannot run; the user has been told why where it matters.
    bool InitInstance();

    void OnAddTransmitter();
    void OnAddReceiver();
    void OnViewLog();
    QRect FitChildToPanel(QMdiSubWindow* child, CDialog* panel, const QString& caption);

    CMyMDIFrameWnd* MainFrame() const { return m_pMainFrame.get(); }

private:
    std::unique_ptr<CMyMDIFrameWnd> m_pMainFrame;
};
