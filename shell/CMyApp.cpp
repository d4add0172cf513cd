#include "CMyApp.h"

#include "CAddRx.h"
#include "CAddTx.h"
#include "CLogoClientWnd.h"
#include "CMyMDIFrameWnd.h"
#include "CRxMDIChildWnd.h"
#include "CTxMDIChildWnd.h"
#include "MessageBox.h"
#include "PanelTick.h"
#include "SocketLayer.h"
#include "resource.h"

CMyApp::CMyApp() = default;

CMyApp::~CMyApp()
{
    if (AfxGetMainWnd() == m_pMainFrame.get())
        AfxSetMainWnd(nullptr);
    m_pMainFrame.reset();
}

bool CMyApp::InitInstance()
{
    if (!AfxSocketInit()) {
        ShowMessageBox(nullptr, QStringLiteral("Windows Sockets initialisation failed"),
            QStringLiteral("Lumivox Tool"), MB_OK);
        return false;
    }
    m_pMainFrame = std::make_unique<CMyMDIFrameWnd>();
    m_pMainFrame->ConnectCommand(ID_ADD_TRANSMITTER, this, &CMyApp::OnAddTransmitter);
    m_pMainFrame->ConnectCommand(ID_ADD_RECEIVER, this, &CMyApp::OnAddReceiver);
    m_pMainFrame->ConnectCommand(ID_VIEW_LOG, this, &CMyApp::OnViewLog);
    AfxSetMainWnd(m_pMainFrame.get());
    m_pMainFrame->show();
    return true;
}

void CMyApp::OnAddTransmitter()
{
    auto* child = new CTxMDIChildWnd;
    m_pMainFrame->MdiClient()->addSubWindow(child);
    auto* panel = new CAddTx(child);
    panel->show();
    const QRect fitted = FitChildToPanel(child, panel, QStringLiteral("Add Transmitter"));
    child->setFixedSize(fitted.size());
}

void CMyApp::OnAddReceiver()
{
    auto* child = new CRxMDIChildWnd;
    m_pMainFrame->MdiClient()->addSubWindow(child);
    auto* panel = new CAddRx(child);
    panel->show();
    const QRect fitted = FitChildToPanel(child, panel, QStringLiteral("Add Receiver"));
    child->SetMinTrackSize(fitted.width(), fitted.height());
}

void CMyApp::OnViewLog() { }

// Sizes the child window around its panel, keeping the child's top-left corner, then links,
// captions, shows and activates it.
QRect CMyApp::FitChildToPanel(QMdiSubWindow* child, CDialog* panel, const QString& caption)
{
    const QPoint topLeft = child->pos();
    child->setWidget(panel);
    child->adjustSize();
    child->move(topLeft);
    if (!caption.isEmpty())
        child->setWindowTitle(caption);
    child->showNormal();
    child->setFocus(Qt::OtherFocusReason);
    m_pMainFrame->MdiClient()->setActiveSubWindow(child);
    return child->geometry();
}
