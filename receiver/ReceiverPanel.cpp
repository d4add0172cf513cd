#include "receiver/ReceiverPanel.h"
#include "ui_ReceiverPanel.h"

#include "core/SourceColumns.h"
#include "net/HostChecks.h"
#include "net/SystemError.h"
#include "net/Tick.h"
#include "widgets/FieldReader.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>
#include <ctime>
#include <numeric>

namespace {

// Room enough for any heading to wrap into, however many lines it takes.
constexpr int UnboundedHeight = 100000;
// The header's frame, above and below its text and margins.
constexpr int HeaderFrame = 2;

} // namespace

ReceiverPanel::ReceiverPanel(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ReceiverPanel>())
{
    ui->setupUi(this);
    setUpList();
    connect(ui->startButton, &QPushButton::clicked, this, &ReceiverPanel::toggleStart);
    connect(
        ui->groupEdit, &QLineEdit::textChanged, ui->interfaceCombo, [this](const QString& text) {
            if (const auto group = parseAddress(text.trimmed()))
                ui->interfaceCombo->setFamily(group->protocol());
        });
    connect(ui->joinButton, &QPushButton::clicked, this, [this] { changeMembership(true); });
    connect(ui->leaveButton, &QPushButton::clicked, this, [this] { changeMembership(false); });
    connect(ui->resetButton, &QPushButton::clicked, this, &ReceiverPanel::resetCounts);
    showFields();
}

// The socket goes with the panel, which ends any membership.
ReceiverPanel::~ReceiverPanel() = default;

void ReceiverPanel::setUpList()
{
    QTreeView* list = ui->sourceList;
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
        [this] { QApplication::clipboard()->setText(selectedRowsText()); });
    list->addAction(copy);
}

bool ReceiverPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->sourceList->viewport() && event->type() == QEvent::Resize)
        resizeColumns();
    return QWidget::eventFilter(watched, event);
}

bool ReceiverPanel::readFields()
{
    FieldReader fields(this);
    fields.readAddress(ui->groupEdit, m_group);
    fields.readAddress(ui->sourceEdit, m_source, true);
    fields.readNumber(ui->portEdit, m_port, Limits::port);
    fields.readNumber(ui->lossThresholdEdit, m_lossThreshold, Limits::lossThreshold);
    fields.readNumber(ui->maxLatencyEdit, m_maxLatency, Limits::maxLatency);
    if (!fields.ok() || !readTrapFields())
        return false;
    m_join = ui->joinCheck->isChecked();
    m_interfaceIndex = ui->interfaceCombo->interfaceIndex();
    return true;
}

bool ReceiverPanel::readTrapFields()
{
    FieldReader fields(this);
    const QString destination = ui->trapDestinationEdit->text().trimmed();
    fields.check(ui->trapDestinationEdit,
        destination.isEmpty() || TrapSender::parseDestination(destination),
        tr("Enter a host name or address, with :PORT if the port is not 162, or nothing for no "
           "traps."));
    if (!fields.ok())
        return false;
    m_trapDestination = destination;
    m_community = ui->communityEdit->text();
    setUpTraps();
    return true;
}

void ReceiverPanel::setUpTraps()
{
    if (m_trapDestination.isEmpty()) {
        m_traps.reset();
        return;
    }
    if (!m_traps) {
        m_traps = std::make_unique<TrapSender>();
        connect(m_traps.get(), &TrapSender::failed, this, [this](const QString& why) {
            qWarning("lumivox-tool: %s", qPrintable(why));
            emit eventOccurred(Event::about(Event::Warning, name(), why));
        });
    }
    m_traps->setDestination(m_trapDestination, m_community);
}

bool ReceiverPanel::sendTestTrap()
{
    if (!readTrapFields())
        return false;
    if (!m_traps) {
        showMessageBox({ this, tr("Enter an SNMP Trap Destination first."),
            QGuiApplication::applicationDisplayName(), QMessageBox::Warning });
        return false;
    }
    m_traps->send(TrapSender::Kind::Test, { m_group, m_port, m_source });
    emit eventOccurred(
        Event::about(Event::Trap, name(), tr("Test trap sent to %1").arg(m_traps->destination())));
    return true;
}

void ReceiverPanel::sendTrap(TrapSender::Kind kind, const Source& source)
{
    if (m_traps)
        m_traps->send(kind, { m_group, m_port, m_source }, &source);
}

void ReceiverPanel::showFields()
{
    showField(ui->groupEdit, m_group.toString());
    showField(ui->sourceEdit, m_source.isNull() ? QString() : m_source.toString());
    ui->interfaceCombo->selectInterface(m_interfaceIndex);
    showField(ui->portEdit, m_port);
    ui->joinCheck->setChecked(m_join);
    showField(ui->lossThresholdEdit, m_lossThreshold);
    showField(ui->maxLatencyEdit, m_maxLatency);
    showField(ui->trapDestinationEdit, m_trapDestination);
    showField(ui->communityEdit, m_community);
}

// Every column keeps its share of the list's width, however the window is sized.
void ReceiverPanel::resizeColumns()
{
    const unsigned total = std::accumulate(SourceColumns.begin(), SourceColumns.end(), 0u,
        [](unsigned sum, const SourceColumnInfo& column) { return sum + column.weight; });
    const auto width = unsigned(ui->sourceList->viewport()->width());
    QHeaderView* header = ui->sourceList->header();
    for (std::size_t column = 0; column < SourceColumns.size(); ++column)
        header->resizeSection(int(column), int(width * SourceColumns[column].weight / total));
    fitHeaderHeight();
}

// The header keeps the height it first had; give it as many lines as the narrowest column
// needs for its wrapped heading.
void ReceiverPanel::fitHeaderHeight()
{
    QHeaderView* header = ui->sourceList->header();
    const QFontMetrics metrics(header->font());
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int lines = 1;
    for (int column = 0; column < m_model.columnCount(); ++column) {
        const int room = std::max(1, header->sectionSize(column) - 2 * margin);
        const QString heading
            = m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const QRect needed
            = metrics.boundingRect(QRect(0, 0, room, UnboundedHeight), Qt::TextWordWrap, heading);
        lines = std::max(
            lines, (needed.height() + metrics.lineSpacing() - 1) / metrics.lineSpacing());
    }
    const int height = lines * metrics.lineSpacing() + 2 * margin + HeaderFrame;
    if (header->height() != height)
        header->setFixedHeight(height);
}

void ReceiverPanel::tick(int phase)
{
    ui->activityLamp->setLit(false);
    // Numbers fall due by the second; so does what this panel shows of them.
    if (phase != Tick::secondPhase)
        return;
    const std::int64_t now = Tick::nowMs();
    m_sources.checkOverdue(now, [this](std::size_t index, bool becameLost) {
        m_model.sourceChanged(index);
        if (!becameLost)
            return;
        emit eventOccurred(Event::lostSource(name(), m_sources.at(index),
            m_socket ? m_socket->joinedForMs() : -1, m_sources.allLost()));
        sendTrap(TrapSender::Kind::SourceLost, m_sources.at(index));
    });
    if (m_socket && m_socket->drops() != m_shownDrops) {
        m_shownDrops = m_socket->drops();
        ui->dropsLabel->setText(tr("Dropped on this host: %1").arg(m_shownDrops));
    }
    if (m_sources.refused() != m_shownRefused) {
        m_shownRefused = m_sources.refused();
        ui->refusedLabel->setText(tr("Sources refused: %1").arg(m_shownRefused));
    }
    if (m_sources.refusalsDue(now))
        emit eventOccurred(Event::sourcesRefused(name(), m_sources));
}

void ReceiverPanel::setInterface(int index)
{
    m_interfaceIndex = index;
    showFields();
}

void ReceiverPanel::configure(const Endpoint& endpoint, bool join)
{
    m_group = endpoint.group;
    m_port = endpoint.port;
    m_source = endpoint.source;
    m_join = join;
    showFields();
}

void ReceiverPanel::toggleStart()
{
    if (m_state == State::Stopped)
        start();
    else
        stop();
}

bool ReceiverPanel::start()
{
    if (!readFields())
        return false;
    m_sources.setRules({ qint64(m_maxLatency) * 1000, m_lossThreshold });
    // The button reads "Stop" from here on, also when the socket fails below: pressing it
    // again is how the user retries.
    ui->startButton->setText(tr("Stop"));
    m_socket = std::make_unique<ReceiveSocket>();
    connect(m_socket.get(), &ReceiveSocket::datagramReceived, this, &ReceiverPanel::countDatagram);
    connect(m_socket.get(), &ReceiveSocket::emptyDatagramReceived, this,
        &ReceiverPanel::warnEmptyDatagram);
    connect(m_socket.get(), &ReceiveSocket::receiveFailed, this, &ReceiverPanel::warnReceiveFailed);
    connect(m_socket.get(), &ReceiveSocket::joinRefused, this, &ReceiverPanel::warnJoinRefused);
    // The boxes' captions name the operation that failed, as users of the tool know them.
    if (!m_socket->bind({ m_group, m_port, m_source }, m_interfaceIndex, m_join)) {
        const QString option = m_socket->failedOption();
        showSystemError(option.isEmpty() ? QStringLiteral("CRxSocket::Bind()")
                                         : QStringLiteral("CRxSocket::setsockopt(%1)").arg(option),
            m_socket->error());
        showMessageBox({ this, tr("Failed to Create receive socket"),
            QStringLiteral("CAddRx::StartReceiver()"), QMessageBox::Critical });
        return false;
    }
    // The buttons follow the check box, whether or not the join itself succeeded.
    showMembership(m_join);
    QStringList problems = HostChecks::atStart(m_interfaceIndex, m_group, true);
    if (m_joinError)
        problems << HostChecks::afterJoinFailed(std::exchange(m_joinError, 0));
    problems.removeAll(QString());
    showHostProblems(problems);
    if (!m_source.isNull() && !isSourceSpecific(m_group))
        emit eventOccurred(Event::about(Event::Warning, name(),
            tr("Source-specific groups are 232.0.0.0/8 and ff3x::/32; routers may not keep "
               "to the source for %1.")
                .arg(m_group.toString())));
    m_state = State::Running;
    showFields();
    return true;
}

void ReceiverPanel::stop()
{
    ui->hostLabel->clear();
    ui->hostLabel->hide();
    ui->startButton->setText(tr("Start"));
    ui->joinButton->setEnabled(false);
    ui->leaveButton->setEnabled(false);
    // Closing the socket ends the membership.
    m_socket.reset();
    m_state = State::Stopped;
    showFields();
}

// Counts start again from now; the receiver stays bound and joined.
void ReceiverPanel::resetCounts()
{
    m_model.clear(m_sources);
    emit eventOccurred(Event::about(Event::Reset, name(), tr("counts reset")));
}

void ReceiverPanel::showMembership(bool joined)
{
    ui->joinButton->setEnabled(!joined);
    ui->leaveButton->setEnabled(joined);
}

// The IGMP Join and Leave buttons. A refusal is told by the same rule as a join refused at
// Start.
void ReceiverPanel::changeMembership(bool join)
{
    if (!m_socket)
        return;
    if (join ? m_socket->joinGroup() : m_socket->leaveGroup()) {
        showMembership(join);
        emit eventOccurred(Event::about(
            join ? Event::Join : Event::Leave, name(), join ? tr("IGMP Join") : tr("IGMP Leave")));
    } else {
        warnMembershipRefused(m_socket->error());
    }
}

// What comes from the network can open a box, but anyone on the LAN can send it at will:
// these boxes are shown one at a time for the whole program, after the receive path has
// returned.
void ReceiverPanel::warnEmptyDatagram()
{
    postNetworkMessageBox({ this, tr("Got return code of \"0\" from Receive() !"),
        QStringLiteral("CRxSocket::OnReceive") });
}

void ReceiverPanel::warnReceiveFailed(int error)
{
    postNetworkMessageBox({ nullptr, systemErrorText(error), QStringLiteral("CRxSocket::Receive()"),
        QMessageBox::Information });
}

// A join refused at Start answers the user's own press of the button, so it is shown at
// once, but by the same rule.
void ReceiverPanel::showHostProblems(const QStringList& problems)
{
    ui->hostLabel->setText(problems.join(QLatin1Char('\n')));
    ui->hostLabel->setVisible(!problems.isEmpty());
    for (const QString& problem : problems)
        emit eventOccurred(Event::about(Event::Warning, name(), problem));
}

void ReceiverPanel::warnJoinRefused(int error)
{
    m_joinError = error;
    emit eventOccurred(Event::about(Event::JoinRefused, name(), systemErrorText(error)));
    warnMembershipRefused(error);
}

// The caption names the option refused: IP_ADD_MEMBERSHIP for an IPv4 group from any source,
// IPV6_JOIN_GROUP or MCAST_JOIN_SOURCE_GROUP for the others, and their leaving kin.
void ReceiverPanel::warnMembershipRefused(int error)
{
    showNetworkMessageBox({ nullptr, systemErrorText(error),
        QStringLiteral("CRxSocket::setsockopt(%1)").arg(m_socket->failedOption()),
        QMessageBox::Information });
}

void ReceiverPanel::countDatagram(const std::uint8_t* bytes, std::size_t length,
    const std::string& address, quint16 port, int ttl)
{
    const auto counted = m_sources.countProbe(
        bytes, length, address, port, std::time(nullptr), Tick::nowMs(), ttl);
    if (!counted)
        return;
    const Source::Arrival& arrival = counted.arrival;
    m_model.sourceChanged(counted.index,
        counted.added || counted.ttlChanged || arrival.missedChanged
            ? SourceModel::Change::Everything
            : arrival.duplicate ? SourceModel::Change::Repeated
                                : SourceModel::Change::Counted);
    ui->activityLamp->setLit(true);
    if (counted.replaced)
        emit eventOccurred(Event::gaveWay(name(), m_sources.gaveWay()));
    if (counted.added)
        emit eventOccurred(Event::newSource(name(), m_sources.at(counted.index)));
    if (counted.arrival.recovered) {
        emit eventOccurred(
            Event::recoveredSource(name(), m_sources.at(counted.index), counted.arrival));
        sendTrap(TrapSender::Kind::SourceRecovered, m_sources.at(counted.index));
    }
}

QString ReceiverPanel::selectedRowsText() const
{
    const auto line = [this](auto cellOf) {
        QStringList cells;
        for (int column = 0; column < m_model.columnCount(); ++column)
            cells << cellOf(column);
        return cells.join(QLatin1Char('\t'));
    };
    QStringList lines { line([this](int column) {
        return m_model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }) };
    QModelIndexList rows = ui->sourceList->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : rows)
        lines << line([&](int column) { return row.siblingAtColumn(column).data().toString(); });
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
