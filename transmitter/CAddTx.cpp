#include "CAddTx.h"

#include "CIconStatic.h"
#include "CProbePacket.h"
#include "MessageBox.h"
#include "PanelTick.h"
#include "Templates.h"
#include "resource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <new>

CAddTx::CAddTx(QWidget* parent)
    : CDialog(parent)
{
    Create(AddTxTemplate(), QStringLiteral(RES_ACTIVITY_ICON));
    m_cbInterface = GetDlgItem<QComboBox>("IDC_TX_INTERFACE");
    m_edTTL = GetDlgItem<QLineEdit>("IDC_TX_TTL");
    m_edPort = GetDlgItem<QLineEdit>("IDC_TX_PORT");
    m_edFrequency = GetDlgItem<QLineEdit>("IDC_TX_FREQUENCY");
    m_edGroup = GetDlgItem<QLineEdit>("IDC_TX_GROUP");
    m_stActivity = GetDlgItem<CIconStatic>("IDC_TX_ACTIVITY");
    m_btnPause = GetDlgItem<QPushButton>("IDC_TX_PAUSE");
    m_btnStart = GetDlgItem<QPushButton>("IDC_TX_START");
    m_edPacketSize = GetDlgItem<QLineEdit>("IDC_TX_PACKET_SIZE");
    m_chkRandomise = GetDlgItem<QCheckBox>("IDC_TX_RANDOMISE");
    connect(m_chkRandomise, &QCheckBox::clicked, this, &CAddTx::OnRandomise);
    connect(m_btnStart, &QPushButton::clicked, this, &CAddTx::OnStart);
    connect(m_btnPause, &QPushButton::clicked, this, &CAddTx::OnPause);
    OnInitDialog();
}

CAddTx::~CAddTx() { OnDestroy(); }

void CAddTx::OnInitDialog()
{
    UpdateData(false);
    if (CPanelHost* host = AfxGetPanelHost())
        host->AddPanel(this);
}

void CAddTx::OnDestroy()
{
    if (CPanelHost* host = AfxGetPanelHost())
        host->RemovePanel(this);
}

void CAddTx::DoDataExchange(CDataExchange& dx)
{
    dx.Text(m_edGroup, m_strGroup, 15);
    dx.Number(m_edFrequency, m_nFrequency, 1, 86400);
    dx.Number(GetDlgItem<QLineEdit>("IDC_TX_LAST_SEQ"), m_nLastSequence);
    dx.Number(GetDlgItem<QLineEdit>("IDC_TX_COUNTDOWN"), m_nCountdown);
    dx.Number(GetDlgItem<QLineEdit>("IDC_TX_SRC_PORT"), m_nSourcePort);
    dx.Number(m_edPort, m_nPort, 1, 65535);
    dx.Check(m_chkRandomise, m_bRandomise);
    dx.Number(
        m_edPacketSize, m_nPacketSize, std::uint32_t(CProbePacket::MinSize()), PROBE_MAX_SIZE);
    dx.Number(m_edTTL, m_nTTL, 1, 255);
}

void CAddTx::OnStart()
{
    if (m_nState == STATE_STOPPED)
        StartTransmitter();
    else
        StopTransmitter();
}

bool CAddTx::StartTransmitter()
{
    if (!UpdateData(true))
        return false;
    SetFieldsReadOnly(true);
    m_btnStart->setText(QStringLiteral("Stop"));
    m_btnPause->setEnabled(true);
    m_pSocket.reset(new (std::nothrow) CTxSocket);
    if (!m_pSocket) {
        MessageBox(QStringLiteral("Failed to allocate transmit socket"),
            QStringLiteral("CAddTx::StartTransmitter()"), MB_ICONSTOP | MB_OK);
        return false;
    }
    if (!m_pSocket->Open(m_nTTL)) {
        MessageBox(QStringLiteral("Failed to Create transmit socket"),
            QStringLiteral("CAddTx::StartTransmitter()"), MB_ICONSTOP | MB_OK);
        return false;
    }
    std::string address;
    std::uint32_t port = 0;
    if (m_pSocket->GetSockName(address, port))
        m_nSourcePort = port;
    m_nCountdown = m_nFrequency;
    m_nLastSequence = 0;
    m_nState = STATE_RUNNING;
    UpdateData(false);
    return true;
}

void CAddTx::StopTransmitter()
{
    SetFieldsReadOnly(false);
    m_btnStart->setText(QStringLiteral("Start"));
    m_btnPause->setText(QStringLiteral("Pause"));
    m_btnPause->setEnabled(false);
    if (m_pSocket)
        m_pSocket->Close();
    m_pSocket.reset();
    m_nCountdown = 0;
    m_nState = STATE_STOPPED;
    UpdateData(false);
}

void CAddTx::OnPause()
{
    if (m_nState == STATE_RUNNING)
        PauseTransmitter();
    else if (m_nState == STATE_PAUSED)
        UnpauseTransmitter();
}

void CAddTx::PauseTransmitter()
{
    m_btnPause->setText(QStringLiteral("Unpause"));
    m_nState = STATE_PAUSED;
}

void CAddTx::UnpauseTransmitter()
{
    m_btnPause->setText(QStringLiteral("Pause"));
    m_nState = STATE_RUNNING;
}

void CAddTx::SetFieldsReadOnly(bool lock)
{
    m_edGroup->setReadOnly(lock);
    m_edPort->setReadOnly(lock);
    m_cbInterface->setEnabled(!lock);
    m_edFrequency->setReadOnly(lock);
    m_edPacketSize->setReadOnly(lock && !m_bRandomise);
    m_chkRandomise->setEnabled(!lock);
    m_edTTL->setReadOnly(lock);
}

void CAddTx::OnRandomise() { m_edPacketSize->setEnabled(!m_chkRandomise->isChecked()); }

int CAddTx::OnPanelTick(int phase, int)
{
    m_stActivity->ShowIcon(false);
    if (phase != 0 || m_nState != STATE_RUNNING)
        return 1;
    if (--m_nCountdown == 0) {
        m_nCountdown = m_nFrequency;
        m_stActivity->ShowIcon(true);
        SendProbe();
    }
    UpdateData(false);
    return 1;
}

bool CAddTx::QueryClose()
{
    if (m_nState == STATE_STOPPED)
        return true;
    const int answer = MessageBox(
        QStringLiteral("The transmitter is still running.\n\nDo you wish to transmit a "
                       "\"Transmitter Stopping\" message before stopping it ?"),
        QStringLiteral("Close Transmitter"), MB_YESNOCANCEL | MB_ICONQUESTION);
    return answer != IDCANCEL;
}
