#include "transmitter/CAddTx.h"
#include "ui_CAddTx.h"

#include "platform/CFieldReader.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"
#include "probe/CProbePacket.h"
#include "res/Pictures.h"

namespace {

// Ticks come four times a second; the countdown steps on the first of each four.
constexpr int SECOND_PHASE = 0;

} // namespace

CAddTx::CAddTx(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::CAddTx>())
{
    ui->setupUi(this);
    ui->IDC_TX_ACTIVITY->SetIcon(ActivityIcon());
    // Room for the line that reports a failed send, so the panel keeps its size.
    ui->IDC_TX_STATUS->setMinimumHeight(ui->IDC_TX_STATUS->fontMetrics().height());
    connect(ui->IDC_TX_RANDOMISE, &QCheckBox::clicked, this, &CAddTx::OnRandomise);
    connect(ui->IDC_TX_START, &QPushButton::clicked, this, &CAddTx::OnStart);
    connect(ui->IDC_TX_PAUSE, &QPushButton::clicked, this, &CAddTx::OnPause);
    ShowFields();
}

CAddTx::~CAddTx() = default;

bool CAddTx::ReadFields()
{
    CFieldReader fields(this);
    fields.Address(ui->IDC_TX_GROUP, m_strGroup);
    fields.Number(ui->IDC_TX_FREQUENCY, m_nFrequency, PERIOD_MIN, PERIOD_MAX);
    fields.Number(ui->IDC_TX_PORT, m_nPort, PORT_MIN, PORT_MAX);
    fields.Check(ui->IDC_TX_RANDOMISE, m_bRandomise);
    // Checked even while Randomise is on, so a size never becomes valid by being hidden. The
    // label has always said 1-1500; no probe is smaller than its 43-byte header.
    fields.Number(ui->IDC_TX_PACKET_SIZE, m_nPacketSize, std::uint32_t(CProbePacket::MinSize()),
        PROBE_MAX_SIZE);
    fields.Number(ui->IDC_TX_TTL, m_nTTL, TTL_MIN, TTL_MAX);
    return fields.Ok();
}

void CAddTx::ShowFields()
{
    ShowField(ui->IDC_TX_GROUP, QString::fromStdString(m_strGroup));
    ShowField(ui->IDC_TX_FREQUENCY, m_nFrequency);
    ShowField(ui->IDC_TX_LAST_SEQ, m_nLastSequence);
    ShowField(ui->IDC_TX_COUNTDOWN, m_nCountdown);
    ShowField(ui->IDC_TX_SRC_PORT, m_nSourcePort);
    ShowField(ui->IDC_TX_PORT, m_nPort);
    ui->IDC_TX_RANDOMISE->setChecked(m_bRandomise);
    ShowField(ui->IDC_TX_PACKET_SIZE, m_nPacketSize);
    ShowField(ui->IDC_TX_TTL, m_nTTL);
}

void CAddTx::Configure(const std::string& group, std::uint32_t port, std::uint32_t period,
    std::uint32_t packetSize, bool randomise, std::uint32_t ttl)
{
    m_strGroup = group;
    m_nPort = port;
    m_nFrequency = period;
    m_nPacketSize = packetSize;
    m_bRandomise = randomise;
    m_nTTL = ttl;
    ShowFields();
    OnRandomise();
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
    if (!ReadFields())
        return false;
    // The panel looks started from here on, also when the socket fails below: pressing
    // the button, which now reads "Stop", is how the user retries.
    SetFieldsReadOnly(true);
    ui->IDC_TX_START->setText(QStringLiteral("Stop"));
    ui->IDC_TX_PAUSE->setEnabled(true);
    m_pSocket = std::make_unique<CTxSocket>();
    if (!m_pSocket->Open(m_nTTL)) {
        ShowMessageBox({ this, QStringLiteral("Failed to Create transmit socket"),
            QStringLiteral("CAddTx::StartTransmitter()"), QMessageBox::Critical });
        return false;
    }
    std::uint16_t port = 0;
    if (m_pSocket->GetSockName(port))
        m_nSourcePort = port;
    m_nCountdown = m_nFrequency;
    m_nLastSequence = 0;
    m_nState = STATE_RUNNING;
    ShowFields();
    return true;
}

void CAddTx::StopTransmitter()
{
    SetFieldsReadOnly(false);
    ui->IDC_TX_START->setText(QStringLiteral("Start"));
    ui->IDC_TX_PAUSE->setText(QStringLiteral("Pause"));
    ui->IDC_TX_PAUSE->setEnabled(false);
    m_pSocket.reset();
    ui->IDC_TX_STATUS->clear();
    m_nCountdown = 0;
    m_nState = STATE_STOPPED;
    ShowFields();
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
    ui->IDC_TX_PAUSE->setText(QStringLiteral("Unpause"));
    m_nState = STATE_PAUSED;
}

void CAddTx::UnpauseTransmitter()
{
    ui->IDC_TX_PAUSE->setText(QStringLiteral("Pause"));
    m_nState = STATE_RUNNING;
}

void CAddTx::SetFieldsReadOnly(bool lock)
{
    ui->IDC_TX_GROUP->setReadOnly(lock);
    ui->IDC_TX_PORT->setReadOnly(lock);
    ui->IDC_TX_INTERFACE->setEnabled(!lock);
    ui->IDC_TX_FREQUENCY->setReadOnly(lock);
    ui->IDC_TX_PACKET_SIZE->setReadOnly(lock && !m_bRandomise);
    ui->IDC_TX_RANDOMISE->setEnabled(!lock);
    ui->IDC_TX_TTL->setReadOnly(lock);
}

// The box as it stands on screen decides; m_bRandomise takes it at the next start.
void CAddTx::OnRandomise()
{
    ui->IDC_TX_PACKET_SIZE->setEnabled(!ui->IDC_TX_RANDOMISE->isChecked());
}

void CAddTx::OnPanelTick(int phase)
{
    ui->IDC_TX_ACTIVITY->ShowIcon(false);
    if (phase != SECOND_PHASE || m_nState != STATE_RUNNING)
        return;
    if (CountDown())
        ShowSendResult(SendProbe() >= 0);
    ShowFields();
}

// A send that fails repeats every period: it is told in the panel, never in a box, and
// the lamp lights only for a probe that left.
void CAddTx::ShowSendResult(bool sent)
{
    ui->IDC_TX_ACTIVITY->ShowIcon(sent);
    const QString status = sent
        ? QString()
        : QStringLiteral("Send failed: %1").arg(SystemErrorText(m_pSocket->LastError()));
    if (ui->IDC_TX_STATUS->text() != status)
        ui->IDC_TX_STATUS->setText(status);
}

bool CAddTx::QueryClose()
{
    if (m_nState == STATE_STOPPED)
        return true;
    // No "Transmitter Stopping" probe exists: Yes and No both close without sending.
    const auto answer = ShowMessageBox({ this,
        QStringLiteral("The transmitter is still running.\n\nDo you wish to transmit a "
                       "\"Transmitter Stopping\" message before stopping it ?"),
        QStringLiteral("Close Transmitter"), QMessageBox::Question,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel });
    return answer != QMessageBox::Cancel;
}
