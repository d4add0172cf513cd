#include "receiver/CAddRx.h"
#include "ui_CAddRx.h"

#include "platform/CFieldReader.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"
#include "res/Pictures.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>
#include <ctime>

namespace {

constexpr std::uint32_t LOSS_THRESHOLD_MAX = 100;
constexpr std::uint32_t MAX_LATENCY_MAX = 120;
constexpr int TRAP_DEST_MAX_CHARS = 15;
constexpr int COMMUNITY_MAX_CHARS = 64;

} // namespace

CAddRx::CAddRx(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::CAddRx>())
{
    ui->setupUi(this);
    ui->IDC_RX_ACTIVITY->SetIcon(ActivityIcon());
    SetUpList();
    connect(ui->IDC_RX_START, &QPushButton::clicked, this, &CAddRx::OnStart);
    connect(ui->IDC_RX_JOIN, &QPushButton::clicked, this, &CAddRx::OnIgmpJoin);
    connect(ui->IDC_RX_LEAVE, &QPushButton::clicked, this, &CAddRx::OnIgmpLeave);
    // Reset is there for a later feature and does nothing yet.
    ShowFields();
}

// The socket goes with the panel, which ends any membership.
CAddRx::~CAddRx() = default;

void CAddRx::SetUpList()
{
    QTreeView* list = ui->IDC_RX_SOURCES;
    list->setModel(&m_model);
    list->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(0);
    // Narrow columns wrap their headings onto a second line rather than cut them off.
    header->setDefaultAlignment(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap));
    list->viewport()->installEventFilter(this);

    // Copying rows lets a user paste what a receiver saw into a report.
    auto* copy = new QAction(tr("Copy"), list);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this,
        [this] { QApplication::clipboard()->setText(SelectedRowsText()); });
    list->addAction(copy);
}

bool CAddRx::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->IDC_RX_SOURCES->viewport() && event->type() == QEvent::Resize)
        ResizeColumns();
    return QWidget::eventFilter(watched, event);
}

bool CAddRx::ReadFields()
{
    CFieldReader fields(this);
    fields.Address(ui->IDC_RX_GROUP, m_strGroup);
    fields.Text(ui->IDC_RX_TRAP_DEST, m_strTrapDest, TRAP_DEST_MAX_CHARS);
    fields.Text(ui->IDC_RX_COMMUNITY, m_strCommunity, COMMUNITY_MAX_CHARS);
    fields.Number(ui->IDC_RX_PORT, m_nPort, PORT_MIN, PORT_MAX);
    fields.Check(ui->IDC_RX_JOIN_CHECK, m_bJoin);
    fields.Number(ui->IDC_RX_LOSS_THRESHOLD, m_nLossThreshold, 1, LOSS_THRESHOLD_MAX);
    fields.Number(ui->IDC_RX_MAX_LATENCY, m_nMaxLatency, 1, MAX_LATENCY_MAX);
    return fields.Ok();
}

void CAddRx::ShowFields()
{
    ShowField(ui->IDC_RX_GROUP, QString::fromStdString(m_strGroup));
    ShowField(ui->IDC_RX_TRAP_DEST, m_strTrapDest);
    ShowField(ui->IDC_RX_COMMUNITY, m_strCommunity);
    ShowField(ui->IDC_RX_PORT, m_nPort);
    ui->IDC_RX_JOIN_CHECK->setChecked(m_bJoin);
    ShowField(ui->IDC_RX_LOSS_THRESHOLD, m_nLossThreshold);
    ShowField(ui->IDC_RX_MAX_LATENCY, m_nMaxLatency);
}

// Every column keeps its share of the list's width, however the window is sized.
void CAddRx::ResizeColumns()
{
    const auto width = unsigned(ui->IDC_RX_SOURCES->viewport()->width());
    QHeaderView* header = ui->IDC_RX_SOURCES->header();
    for (int column = 0; column < CRxSourceModel::ColumnCount; ++column)
        header->resizeSection(column,
            int(std::uint16_t(
                width * CRxSourceModel::Weight(column) / CRxSourceModel::WeightTotal())));
    FitHeaderHeight();
}

// The header keeps the height it first had; give it as many lines as the narrowest column
// needs for its wrapped heading.
void CAddRx::FitHeaderHeight()
{
    QHeaderView* header = ui->IDC_RX_SOURCES->header();
    const QFontMetrics metrics(header->font());
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int lines = 1;
    for (int column = 0; column < CRxSourceModel::ColumnCount; ++column) {
        const int room = std::max(1, header->sectionSize(column) - 2 * margin);
        const QString heading
            = m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const QRect needed
            = metrics.boundingRect(QRect(0, 0, room, 100000), Qt::TextWordWrap, heading);
        lines = std::max(
            lines, (needed.height() + metrics.lineSpacing() - 1) / metrics.lineSpacing());
    }
    const int height = lines * metrics.lineSpacing() + 2 * margin + 2;
    if (header->height() != height)
        header->setFixedHeight(height);
}

void CAddRx::OnPanelTick(int) { ui->IDC_RX_ACTIVITY->ShowIcon(false); }

void CAddRx::Configure(const std::string& group, std::uint32_t port, bool join)
{
    m_strGroup = group;
    m_nPort = port;
    m_bJoin = join;
    ShowFields();
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
    if (!ReadFields())
        return false;
    // The button reads "Stop" from here on, also when the socket fails below: pressing it
    // again is how the user retries.
    ui->IDC_RX_START->setText(QStringLiteral("Stop"));
    m_pSocket = std::make_unique<CRxSocket>();
    connect(m_pSocket.get(), &CRxSocket::DatagramReceived, this, &CAddRx::ProcessDatagram);
    connect(m_pSocket.get(), &CRxSocket::EmptyDatagramReceived, this, &CAddRx::OnEmptyDatagram);
    connect(m_pSocket.get(), &CRxSocket::ReceiveFailed, this, &CAddRx::OnReceiveFailed);
    connect(m_pSocket.get(), &CRxSocket::JoinRefused, this, &CAddRx::OnJoinRefused);
    if (!m_pSocket->Bind(m_strGroup, std::uint16_t(m_nPort), m_bJoin)) {
        ShowSystemError(QStringLiteral("CRxSocket::Bind()"), m_pSocket->LastError());
        ShowMessageBox({ this, QStringLiteral("Failed to Create receive socket"),
            QStringLiteral("CAddRx::StartReceiver()"), QMessageBox::Critical });
        return false;
    }
    // The buttons follow the check box, whether or not the join itself succeeded.
    ui->IDC_RX_JOIN->setEnabled(!m_bJoin);
    ui->IDC_RX_LEAVE->setEnabled(m_bJoin);
    m_nState = STATE_RUNNING;
    ShowFields();
    return true;
}

void CAddRx::StopReceiver()
{
    ui->IDC_RX_START->setText(QStringLiteral("Start"));
    ui->IDC_RX_JOIN->setEnabled(false);
    ui->IDC_RX_LEAVE->setEnabled(false);
    // Closing the socket ends the membership.
    m_pSocket.reset();
    m_nState = STATE_STOPPED;
    ShowFields();
}

void CAddRx::OnIgmpJoin()
{
    if (m_pSocket && m_pSocket->JoinGroup()) {
        ui->IDC_RX_JOIN->setEnabled(false);
        ui->IDC_RX_LEAVE->setEnabled(true);
    }
}

void CAddRx::OnIgmpLeave()
{
    if (m_pSocket && m_pSocket->LeaveGroup()) {
        ui->IDC_RX_JOIN->setEnabled(true);
        ui->IDC_RX_LEAVE->setEnabled(false);
    }
}

// What comes from the network can open a box, but anyone on the LAN can send it at will:
// these boxes are shown one at a time for the whole program, after the receive path has
// returned.
void CAddRx::OnEmptyDatagram()
{
    PostNetworkMessageBox({ this, QStringLiteral("Got return code of \"0\" from Receive() !"),
        QStringLiteral("CRxSocket::OnReceive") });
}

void CAddRx::OnReceiveFailed(int error)
{
    PostNetworkMessageBox({ nullptr, SystemErrorText(error), QStringLiteral("CRxSocket::Receive()"),
        QMessageBox::Information });
}

// A join refused at Start answers the user's own press of the button, so it is shown at
// once, but by the same rule.
void CAddRx::OnJoinRefused(int error)
{
    ShowNetworkMessageBox({ nullptr, SystemErrorText(error),
        QStringLiteral("CRxSocket::setsockopt(IP_ADD_MEMBERSHIP)"), QMessageBox::Information });
}

void CAddRx::ProcessDatagram(
    const std::uint8_t* bytes, std::size_t length, const std::string& address, std::uint16_t port)
{
    std::size_t index = 0;
    if (!m_sources.CountProbe(bytes, length, address, port, std::time(nullptr), &index))
        return;
    m_model.SourceChanged(index);
    ui->IDC_RX_ACTIVITY->ShowIcon(true);
}

QString CAddRx::SelectedRowsText() const
{
    QStringList headings;
    for (int column = 0; column < CRxSourceModel::ColumnCount; ++column)
        headings << m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    QStringList lines { headings.join(QLatin1Char('\t')) };
    QModelIndexList rows = ui->IDC_RX_SOURCES->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : rows) {
        QStringList cells;
        for (int column = 0; column < CRxSourceModel::ColumnCount; ++column)
            cells << m_model.index(row.row(), column).data().toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
