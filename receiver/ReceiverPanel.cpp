#include "receiver/ReceiverPanel.h"
#include "ui_ReceiverPanel.h"

#include "monitor/MetricsText.h"
#include "net/SystemError.h"
#include "net/Tick.h"
#include "widgets/FieldReader.h"
#include "widgets/MessageBox.h"

#include <QGuiApplication>

ReceiverPanel::ReceiverPanel(HostContext& host, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ReceiverPanel>())
    , m_receiver(host)
{
    ui->setupUi(this);
    ui->sourceList->setModel(&m_model);
    connect(ui->startButton, &QPushButton::clicked, this, &ReceiverPanel::toggleStart);
    connect(
        ui->groupEdit, &QLineEdit::textChanged, ui->interfaceCombo, [this](const QString& text) {
            if (const auto group = parseAddress(text.trimmed()))
                ui->interfaceCombo->setFamily(group->protocol());
        });
    connect(ui->joinButton, &QPushButton::clicked, this, [this] { changeMembership(true); });
    connect(ui->leaveButton, &QPushButton::clicked, this, [this] { changeMembership(false); });
    connect(ui->resetButton, &QPushButton::clicked, &m_receiver, &ProbeReceiver::resetCounts);

    connect(&m_receiver, &ProbeReceiver::probeCounted, this,
        [this](std::size_t index, SourceChange change) {
            m_model.sourceChanged(index, change);
            ui->activityLamp->setLit(true);
        });
    connect(&m_receiver, &ProbeReceiver::sourceChanged, &m_model,
        [this](std::size_t index) { m_model.sourceChanged(index); });
    connect(&m_receiver, &ProbeReceiver::cleared, &m_model, &SourceModel::clear);
    connect(&m_receiver, &ProbeReceiver::eventOccurred, this, &ReceiverPanel::eventOccurred);
    connect(&m_traps, &ReceiverTraps::eventOccurred, this, &ReceiverPanel::eventOccurred);
    // What comes from the network can open a box, but anyone on the LAN can send it at will:
    // these boxes are shown one at a time for the whole program, after the receive path has
    // returned, and hold nothing up. Each empty datagram is counted, and told in the log.
    connect(&m_receiver, &ProbeReceiver::emptyDatagramReceived, this, [this] {
        m_emptyDatagrams.happened();
        postNetworkMessageBox({ this, tr("Got return code of \"0\" from Receive() !"),
            QStringLiteral("CRxSocket::OnReceive") });
    });
    connect(&m_receiver, &ProbeReceiver::receiveFailed, this, [](int error) {
        postNetworkMessageBox({ nullptr, systemErrorText(error),
            QStringLiteral("CRxSocket::Receive()"), QMessageBox::Information });
    });
    // A join refused at Start answers the user's own press of the button, so it is shown at
    // once, but by the same rule.
    connect(&m_receiver, &ProbeReceiver::joinRefused, this, &ReceiverPanel::warnMembershipRefused);
    showFields();
}

// The socket goes with the panel, which ends any membership.
ReceiverPanel::~ReceiverPanel() = default;

bool ReceiverPanel::readFields()
{
    FieldReader fields(this);
    Endpoint& where = m_settings.where;
    fields.readAddress(ui->groupEdit, where.group);
    fields.readAddress(ui->sourceEdit, where.source, true);
    fields.readNumber(ui->portEdit, where.port, Limits::port);
    fields.readNumber(ui->lossThresholdEdit, m_lossThreshold, Limits::lossThreshold);
    fields.readNumber(ui->maxLatencyEdit, m_maxLatencySeconds, Limits::maxLatency);
    if (!fields.ok() || !readTrapFields())
        return false;
    m_settings.join = ui->joinCheck->isChecked();
    m_settings.interfaceIndex = ui->interfaceCombo->interfaceIndex();
    m_settings.rules = { qint64(m_maxLatencySeconds) * 1000, m_lossThreshold };
    return true;
}

// Traps go to the destination read last; none when it is empty.
bool ReceiverPanel::readTrapFields()
{
    FieldReader fields(this);
    const QString destination = ui->trapDestinationEdit->text().trimmed();
    fields.check(ui->trapDestinationEdit,
        destination.isEmpty() || parseTrapDestination(destination),
        tr("Enter a host name or address, with :PORT if the port is not 162, or nothing for no "
           "traps."));
    if (!fields.ok())
        return false;
    m_trapDestination = destination;
    m_community = ui->communityEdit->text();
    m_traps.setDestination(m_trapDestination, m_community);
    return true;
}

bool ReceiverPanel::sendTestTrap()
{
    if (!readTrapFields())
        return false;
    if (!m_traps.isEnabled()) {
        showMessageBox({ this, tr("Enter an SNMP Trap Destination first."),
            QGuiApplication::applicationDisplayName(), QMessageBox::Warning });
        return false;
    }
    m_traps.sendTest(m_settings.where);
    return true;
}

void ReceiverPanel::showFields()
{
    const Endpoint& where = m_settings.where;
    showField(ui->groupEdit, where.group.toString());
    showField(ui->sourceEdit, where.source.isNull() ? QString() : where.source.toString());
    ui->interfaceCombo->selectInterface(m_settings.interfaceIndex);
    showField(ui->portEdit, where.port);
    ui->joinCheck->setChecked(m_settings.join);
    showField(ui->lossThresholdEdit, m_lossThreshold);
    showField(ui->maxLatencyEdit, m_maxLatencySeconds);
    showField(ui->trapDestinationEdit, m_trapDestination);
    showField(ui->communityEdit, m_community);
}

void ReceiverPanel::tick(int phase)
{
    ui->activityLamp->setLit(false);
    m_receiver.tick(phase);
    // Numbers fall due by the second; so does what this panel shows of them.
    if (phase != Tick::secondPhase)
        return;
    const quint64 missing = m_receiver.sources().missing();
    if (m_receiver.hostDrops() != m_shownDrops || missing != m_shownMissing) {
        m_shownDrops = m_receiver.hostDrops();
        m_shownMissing = missing;
        // With numbers missing, how many of them this host dropped: the rest is the network's.
        ui->dropsLabel->setText(missing
                ? tr("Dropped on this host: %1, %2 of the %3 numbers missing")
                      .arg(m_shownDrops)
                      .arg(m_receiver.sources().droppedOnHost(m_shownDrops))
                      .arg(missing)
                : tr("Dropped on this host: %1").arg(m_shownDrops));
    }
    if (m_receiver.sources().refused() != m_shownRefused) {
        m_shownRefused = m_receiver.sources().refused();
        ui->refusedLabel->setText(tr("Sources refused: %1").arg(m_shownRefused));
    }
    if (m_emptyDatagrams.due(Tick::nowMs()))
        emit eventOccurred(Event::withDetail(Event::Warning, name(),
            (m_emptyDatagrams.count() == 1
                    ? tr("%1 empty datagram received so far: a probe is never empty")
                    : tr("%1 empty datagrams received so far: a probe is never empty"))
                .arg(m_emptyDatagrams.count())));
    showQuerier();
}

void ReceiverPanel::collectMetrics(MetricsText& text) const
{
    text.addReceiver(name(), m_receiver);
}

void ReceiverPanel::configure(
    const ReceiveSettings& settings, const QString& trapDestination, const QString& community)
{
    m_settings = settings;
    m_lossThreshold = settings.rules.lossThreshold;
    m_maxLatencySeconds = quint32(settings.rules.maxLatencyMs / 1000);
    m_trapDestination = trapDestination;
    m_community = community;
    showFields();
}

void ReceiverPanel::toggleStart()
{
    if (isRunning())
        stop();
    else
        start();
}

bool ReceiverPanel::start()
{
    if (!readFields())
        return false;
    // The button reads "Stop" from here on, also when the socket fails below: pressing it
    // again is how the user retries.
    ui->startButton->setText(tr("Stop"));
    // The boxes' captions name the operation that failed, as users of the tool know them.
    if (!m_receiver.start(m_settings)) {
        const ReceiveSocket& socket = m_receiver.socket();
        showSystemError(socket.failedOption().isEmpty()
                ? QStringLiteral("CRxSocket::Bind()")
                : QStringLiteral("CRxSocket::setsockopt(%1)").arg(socket.failedOption()),
            socket.error());
        showMessageBox({ this, tr("Failed to Create receive socket"),
            QStringLiteral("CAddRx::StartReceiver()"), QMessageBox::Critical });
        return false;
    }
    // The buttons follow the check box, whether or not the join itself succeeded.
    showMembership(m_settings.join);
    showHostProblems(m_receiver.hostProblems());
    showQuerier();
    showFields();
    emit started();
    return true;
}

void ReceiverPanel::stop()
{
    m_receiver.stop();
    showHostProblems({});
    showQuerier();
    ui->startButton->setText(tr("Start"));
    ui->joinButton->setEnabled(false);
    ui->leaveButton->setEnabled(false);
    showFields();
}

// Set only when it says something else: a label set lays its panel out again.
void ReceiverPanel::showQuerier()
{
    const QString line = isRunning() ? m_receiver.querierLine() : QString();
    if (line == ui->querierLabel->text())
        return;
    ui->querierLabel->setText(line);
    ui->querierLabel->setVisible(!line.isEmpty());
}

void ReceiverPanel::showMembership(bool joined)
{
    ui->joinButton->setEnabled(!joined);
    ui->leaveButton->setEnabled(joined);
}

void ReceiverPanel::showHostProblems(const QStringList& problems)
{
    ui->hostLabel->setText(problems.join(QLatin1Char('\n')));
    ui->hostLabel->setVisible(!problems.isEmpty());
}

// The IGMP Join and Leave buttons. A refusal is told by the same rule as a join refused at
// Start.
void ReceiverPanel::changeMembership(bool join)
{
    if (!isRunning())
        return;
    if (m_receiver.setMember(join)) {
        showMembership(join);
        showQuerier();
    } else
        warnMembershipRefused(m_receiver.socket().error());
}

// The caption names the option refused: IP_ADD_MEMBERSHIP for an IPv4 group from any source,
// IPV6_JOIN_GROUP or MCAST_JOIN_SOURCE_GROUP for the others, and their leaving kin.
void ReceiverPanel::warnMembershipRefused(int error)
{
    showNetworkMessageBox({ nullptr, systemErrorText(error),
        QStringLiteral("CRxSocket::setsockopt(%1)").arg(m_receiver.socket().failedOption()),
        QMessageBox::Information });
}
