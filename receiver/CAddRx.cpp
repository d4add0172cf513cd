#include "CAddRx.h"

#include "CIconStatic.h"
#include "CListCtrl.h"
#include "CProbePacket.h"
#include "MessageBox.h"
#include "PanelTick.h"
#include "Templates.h"
#include "resource.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <array>
#include <ctime>
#include <new>

namespace {

struct Column {
    const char* heading;
    unsigned weight;
};

constexpr std::array<Column, 10> COLUMNS { {
    { "Source IP", 100 },
    { "Src UDP", 50 },
    { "Last RX Time", 100 },
    { "Last Seq#", 50 },
    { "Freq", 50 },
    { "Cons. RX", 50 },
    { "Cons. Miss", 50 },
    { "Total RX", 50 },
    { "Total Miss", 50 },
    { "Dups", 50 },
} };

constexpr unsigned weightTotal()
{
    unsigned total = 0;
    for (const Column& column : COLUMNS)
        total += column.weight;
    return total;
}

QString timeText(std::time_t time)
{
    std::tm local {};
    localtime_r(&time, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

} // namespace

CAddRx::CAddRx(QWidget* parent)
    : CDialog(parent)
{
    Create(AddRxTemplate(), QStringLiteral(RES_ACTIVITY_ICON));
    m_btnLeave = GetDlgItem<QPushButton>("IDC_RX_LEAVE");
    m_btnJoin = GetDlgItem<QPushButton>("IDC_RX_JOIN");
    m_btnStart = GetDlgItem<QPushButton>("IDC_RX_START");
    m_stActivity = GetDlgItem<CIconStatic>("IDC_RX_ACTIVITY");
    m_listSources = GetDlgItem<CListCtrl>("IDC_RX_SOURCES");
    connect(m_btnStart, &QPushButton::clicked, this, &CAddRx::OnStart);
    connect(m_btnJoin, &QPushButton::clicked, this, &CAddRx::OnIgmpJoin);
    connect(m_btnLeave, &QPushButton::clicked, this, &CAddRx::OnIgmpLeave);
    // Reset has no action.
    OnInitDialog();
}

CAddRx::~CAddRx()
{
    OnDestroy();
    // The socket goes with the panel, which ends any membership.
}

void CAddRx::OnInitDialog()
{
    UpdateData(false);
    for (std::size_t c = 0; c < COLUMNS.size(); ++c)
        m_listSources->InsertColumn(int(c), QLatin1String(COLUMNS[c].heading), 10);
    ResizeColumns();
    const QRect list = m_listSources->geometry();
    m_nRightMargin = rect().right() - list.right();
    m_nBottomMargin = rect().bottom() - list.bottom();
    if (CPanelHost* host = AfxGetPanelHost())
        host->AddPanel(this);
}

void CAddRx::OnDestroy()
{
    if (CPanelHost* host = AfxGetPanelHost())
        host->RemovePanel(this);
}

void CAddRx::DoDataExchange(CDataExchange& dx)
{
    dx.Text(GetDlgItem<QLineEdit>("IDC_RX_GROUP"), m_strGroup, 15);
    dx.Text(GetDlgItem<QLineEdit>("IDC_RX_TRAP_DEST"), m_strTrapDest, 15);
    dx.Text(GetDlgItem<QLineEdit>("IDC_RX_COMMUNITY"), m_strCommunity, 64);
    dx.Number(GetDlgItem<QLineEdit>("IDC_RX_PORT"), m_nPort, 1, 65535);
    dx.Check(GetDlgItem<QCheckBox>("IDC_RX_JOIN_CHECK"), m_bJoin);
    dx.Number(GetDlgItem<QLineEdit>("IDC_RX_LOSS_THRESHOLD"), m_nLossThreshold, 1, 100);
    dx.Number(GetDlgItem<QLineEdit>("IDC_RX_MAX_LATENCY"), m_nMaxLatency, 1, 120);
}

void CAddRx::ResizeColumns()
{
    static const unsigned total = weightTotal();
    const auto width = static_cast<unsigned>(m_listSources->ClientWidth());
    for (std::size_t c = 0; c < COLUMNS.size(); ++c)
        m_listSources->SetColumnWidth(
            int(c), int(std::uint16_t(width * COLUMNS[c].weight / total)));
}

void CAddRx::resizeEvent(QResizeEvent* event)
{
    CDialog::resizeEvent(event);
    OnSize(event->size().width(), event->size().height());
}

void CAddRx::OnSize(int cx, int cy)
{
    if (!m_listSources)
        return;
    const QRect list = m_listSources->geometry();
    m_listSources->setGeometry(list.left(), list.top(), cx - m_nRightMargin - list.left(),
        cy - m_nBottomMargin - list.top());
    ResizeColumns();
}

int CAddRx::OnPanelTick(int, int)
{
    m_stActivity->ShowIcon(false);
    return 1;
}

void CAddRx::OnStart()
{
    if (m_nState == STATE_STOPPED)
        StartReceiver();
    else if (m_nState == STATE_RUNNING)
        StopReceiver();
}

bool CAddRx::StartReceiver()
{
    if (!UpdateData(true))
        return false;
    m_btnStart->setText(QStringLiteral("Stop"));
    m_pSocket.reset(new (std::nothrow) CRxSocket);
    if (!m_pSocket) {
        MessageBox(QStringLiteral("Failed to allocate receive socket"),
            QStringLiteral("CAddRx::StartReceiver()"), MB_ICONSTOP | MB_OK);
        return false;
    }
    if (!m_pSocket->Bind(m_strGroup.toStdString(), m_nPort, m_bJoin, this)) {
        MessageBox(QStringLiteral("Failed to Create receive socket"),
            QStringLiteral("CAddRx::StartReceiver()"), MB_ICONSTOP | MB_OK);
        return false;
    }
    m_btnJoin->setEnabled(!m_bJoin);
    m_btnLeave->setEnabled(m_bJoin);
    m_nState = STATE_RUNNING;
    UpdateData(false);
    return true;
}

void CAddRx::StopReceiver()
{
    m_btnStart->setText(QStringLiteral("Start"));
    m_btnJoin->setEnabled(false);
    m_btnLeave->setEnabled(false);
    if (m_pSocket)
        m_pSocket->Close();
    m_pSocket.reset();
    m_nState = STATE_STOPPED;
    UpdateData(false);
}

void CAddRx::OnIgmpJoin()
{
    if (m_pSocket && m_pSocket->JoinGroup()) {
        m_btnJoin->setEnabled(false);
        m_btnLeave->setEnabled(true);
    }
}

void CAddRx::OnIgmpLeave()
{
    if (m_pSocket && m_pSocket->LeaveGroup()) {
        m_btnJoin->setEnabled(true);
        m_btnLeave->setEnabled(false);
    }
}

int CAddRx::MessageBox(const QString& text, const QString& caption, unsigned type)
{
    return CDialog::MessageBox(text, caption, type);
}

void CAddRx::ProcessDatagram(
    const std::uint8_t* bytes, std::size_t length, const std::string& address, std::uint32_t port)
{
    CProbePacket packet;
    if (!packet.Parse(bytes, length))
        return;
    CRxSource* source = m_sources.FindOrAdd(
        address, port, std::time(nullptr), packet.GetFrequency(), packet.GetSequence());
    if (!source)
        return;
    UpdateSourceRow(*source);
    m_stActivity->ShowIcon(true);
}

void CAddRx::UpdateSourceRow(CRxSource& source)
{
    if (source.m_nRow == -1) {
        // Always after the last row, so a stored index never points at another source.
        const int row = m_listSources->InsertItem(
            m_listSources->GetItemCount(), QString::fromStdString(source.m_strAddress));
        if (row < 0)
            return;
        source.m_nRow = row;
        m_listSources->SetItemText(row, 1, QString::number(std::int32_t(source.m_nPort)));
        // A source's period and the four counters never change once its record exists, so
        // their cells are written once here rather than for every datagram.
        // Sequence numbers and periods are unsigned on the wire.
        m_listSources->SetItemText(row, 4, QString::number(source.m_nFrequency));
        m_listSources->SetItemText(row, 5, QString::number(source.m_nConsRx));
        m_listSources->SetItemText(row, 6, QString::number(source.m_nConsMiss));
        m_listSources->SetItemText(row, 7, QString::number(source.m_nTotalRx));
        m_listSources->SetItemText(row, 8, QString::number(source.m_nTotalMiss));
    }
    const int row = source.m_nRow;
    if (source.m_timeLastRx != m_timeShown) {
        m_timeShown = source.m_timeLastRx;
        m_strTimeShown = timeText(source.m_timeLastRx);
    }
    m_listSources->SetItemText(row, 2, m_strTimeShown);
    m_listSources->SetItemText(row, 3, QString::number(source.m_nLastSeq));
    m_listSources->SetItemText(row, 9, QString::number(source.m_nDups));
}
