#include "shell/CMyApp.h"

#include "platform/Application.h"
#include "platform/MessageBox.h"
#include "receiver/CAddRx.h"
#include "shell/CCommandLine.h"
#include "shell/CLogoClientWnd.h"
#include "shell/CMyMDIFrameWnd.h"
#include "shell/CRxMDIChildWnd.h"
#include "shell/CTxMDIChildWnd.h"
#include "transmitter/CAddTx.h"

#include <QAction>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Whether this system can make IPv4 datagram sockets at all.
bool SocketsWork()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    ::close(probe);
    return true;
}

} // namespace

CMyApp::CMyApp() = default;

CMyApp::~CMyApp() = default;

bool CMyApp::InitInstance()
{
    if (!SocketsWork()) {
        ShowMessageBox({ nullptr, QStringLiteral("Windows Sockets initialisation failed"),
            QLatin1String(APPLICATION_NAME) });
        return false;
    }
    m_pMainFrame = std::make_unique<CMyMDIFrameWnd>();
    connect(
        m_pMainFrame->m_actAddTransmitter, &QAction::triggered, this, &CMyApp::OnAddTransmitter);
    connect(m_pMainFrame->m_actAddReceiver, &QAction::triggered, this, &CMyApp::OnAddReceiver);
    connect(m_pMainFrame->m_actViewLog, &QAction::triggered, this, &CMyApp::OnViewLog);
    m_pMainFrame->show();
    return true;
}

void CMyApp::OnAddTransmitter() { AddTransmitter(); }

void CMyApp::OnAddReceiver() { AddReceiver(); }

CAddTx* CMyApp::AddTransmitter()
{
    auto* child = new CTxMDIChildWnd; // the client area owns it from AddPanel on
    auto* panel = new CAddTx(child);
    m_pMainFrame->AddPanel(child, panel);
    const QRect fitted = FitChildToPanel(child, panel, QStringLiteral("Add Transmitter"));
    child->setFixedSize(fitted.size());
    return panel;
}

CAddRx* CMyApp::AddReceiver()
{
    auto* child = new CRxMDIChildWnd; // the client area owns it from AddPanel on
    auto* panel = new CAddRx(child);
    m_pMainFrame->AddPanel(child, panel);
    const QRect fitted = FitChildToPanel(child, panel, QStringLiteral("Add Receiver"));
    child->SetMinTrackSize(fitted.width(), fitted.height());
    return panel;
}

void CMyApp::OpenPanels(const CCommandLine& options)
{
    for (const CEndpoint& where : options.m_transmit) {
        CAddTx* panel = AddTransmitter();
        panel->Configure(where.group, where.port, options.m_nPeriod, options.m_nPacketSize,
            options.m_bRandomise, options.m_nTTL);
        panel->StartTransmitter();
    }
    for (const CEndpoint& where : options.m_receive) {
        CAddRx* panel = AddReceiver();
        panel->Configure(where.group, where.port, options.m_bJoin);
        panel->StartReceiver();
    }
    if (!options.m_transmit.empty() || !options.m_receive.empty())
        m_pMainFrame->MdiClient()->tileSubWindows();
}

// View > Log is offered for a log window to come; it does nothing yet.
void CMyApp::OnViewLog() { }

// Sizes the child window around its panel, keeping the child's top-left corner, then
// captions, shows and activates it.
QRect CMyApp::FitChildToPanel(QMdiSubWindow* child, QWidget* panel, const QString& caption)
{
    const QPoint topLeft = child->pos();
    child->setWidget(panel);
    child->adjustSize();
    child->move(topLeft);
    child->setWindowTitle(caption);
    child->showNormal();
    child->setFocus(Qt::OtherFocusReason);
    m_pMainFrame->MdiClient()->setActiveSubWindow(child);
    return child->geometry();
}
