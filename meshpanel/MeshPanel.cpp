#include "meshpanel/MeshPanel.h"
#include "ui_MeshPanel.h"

#include "monitor/MetricsText.h"
#include "net/SystemError.h"
#include "net/Tick.h"
#include "widgets/FieldReader.h"
#include "widgets/MessageBox.h"

#include <QCloseEvent>
#include <QSysInfo>

MeshPanel::MeshPanel(HostContext& host, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeshPanel>())
    , m_member(host)
{
    ui->setupUi(this);
    m_settings.sending.destination
        = { QHostAddress(QLatin1String(Defaults::meshGroup)), Defaults::meshPort };
    m_settings.sending.periodSeconds = MeshSettings::DefaultPeriodSeconds;
    m_settings.name = QSysInfo::machineHostName();
    ui->matrixView->setMatrix(&m_member.matrix(), [] { return Tick::nowMs(); });
    connect(ui->startButton, &QPushButton::clicked, this,
        [this] { isRunning() ? stop() : void(start()); });
    connect(ui->orderCombo, &QComboBox::currentIndexChanged, ui->matrixView,
        [this](int order) { ui->matrixView->setOrder(MatrixView::Order(order)); });
    connect(&m_member, &MeshMember::eventOccurred, this, &MeshPanel::eventOccurred);
    showFields();
}

MeshPanel::~MeshPanel() = default;

bool MeshPanel::readFields()
{
    FieldReader fields(this);
    SendSettings& sending = m_settings.sending;
    fields.readAddress(ui->groupEdit, sending.destination.group);
    fields.readNumber(ui->portEdit, sending.destination.port, Limits::port);
    fields.readNumber(ui->periodEdit, sending.periodSeconds, Limits::period);
    fields.readNumber(ui->packetSizeEdit, sending.sizeBytes,
        { quint32(MemberReport::minimumProbeSize()), Limits::packetSize.max });
    fields.readNumber(ui->ttlEdit, sending.ttl, Limits::ttl);
    sending.interfaceIndex = ui->interfaceCombo->interfaceIndex();
    if (!fields.ok())
        return false;
    m_settings.receiving.where = sending.destination;
    m_settings.receiving.interfaceIndex = sending.interfaceIndex;
    m_settings.name = ui->nameEdit->text().trimmed();
    if (m_settings.name.isEmpty())
        m_settings.name = QSysInfo::machineHostName();
    m_keyFile = ui->keyEdit->text().trimmed();
    m_settings.key.reset();
    if (!m_keyFile.isEmpty()) {
        QString error;
        m_settings.key = MeshKey::load(m_keyFile, &error);
        if (!m_settings.key) {
            showMessageBox({ this, error, tr("Mesh Key"), QMessageBox::Warning });
            return false;
        }
    }
    return true;
}

void MeshPanel::showFields()
{
    const SendSettings& sending = m_settings.sending;
    showField(ui->groupEdit, sending.destination.group.toString());
    showField(ui->portEdit, sending.destination.port);
    showField(ui->periodEdit, sending.periodSeconds);
    showField(ui->packetSizeEdit, sending.sizeBytes);
    showField(ui->ttlEdit, sending.ttl);
    ui->interfaceCombo->selectInterface(sending.interfaceIndex);
    ui->nameEdit->setText(m_settings.name);
    ui->keyEdit->setText(m_keyFile);
}

void MeshPanel::configure(const MeshSettings& settings, const QString& keyFile)
{
    m_settings = settings;
    m_keyFile = keyFile;
    showFields();
}

bool MeshPanel::start()
{
    if (!readFields())
        return false;
    if (!m_member.start(m_settings)) {
        const bool bound = m_member.receiver().isStarted();
        const UdpSocket& socket = bound ? static_cast<const UdpSocket&>(m_member.sender().socket())
                                        : m_member.receiver().socket();
        showMessageBox({ this,
            (bound ? tr("Cannot open a socket: %1") : tr("Cannot bind UDP port %2: %1"))
                .arg(systemErrorText(socket.error()))
                .arg(m_settings.receiving.where.port),
            tr("Start Mesh"), QMessageBox::Critical });
        return false;
    }
    setFieldsLocked(true);
    ui->startButton->setText(tr("Stop"));
    ui->statusLabel->setText(tr("Member %1 of %2").arg(m_settings.name, name()));
    showMatrix();
    emit started();
    return true;
}

void MeshPanel::stop()
{
    m_member.stop();
    setFieldsLocked(false);
    ui->startButton->setText(tr("Start"));
    ui->statusLabel->setText(tr("Stopped"));
}

void MeshPanel::setFieldsLocked(bool locked)
{
    for (QWidget* field :
        std::initializer_list<QWidget*> { ui->groupEdit, ui->portEdit, ui->periodEdit,
            ui->packetSizeEdit, ui->ttlEdit, ui->nameEdit, ui->keyEdit, ui->interfaceCombo })
        field->setEnabled(!locked);
}

void MeshPanel::tick(int phase)
{
    if (!isRunning())
        return;
    m_member.tick(phase);
    if (phase == Tick::secondPhase)
        showMatrix();
}

// Once a second at most, and only what changed: the view repaints nothing while the
// reports repeat what it shows.
void MeshPanel::showMatrix()
{
    ui->matrixView->refreshIfChanged();
    const MeshMatrix& matrix = m_member.matrix();
    const MeshMatrix::Triage triage = matrix.triage(Tick::nowMs());
    QStringList lines;
    const std::pair<QString, const std::vector<std::size_t>*> groups[] = { { tr("Hear no one"),
                                                                               &triage.hearNoOne },
        { tr("Heard by no one"), &triage.heardByNoOne }, { tr("Hear only some"), &triage.hearSome },
        { tr("Warming up"), &triage.warmingUp }, { tr("Hear no querier"), &triage.noQuerier } };
    std::vector<QStringList> names;
    for (const auto& [heading, members] : groups) {
        names.emplace_back();
        for (std::size_t member : *members)
            names.back() << QString::fromStdString(matrix.nameOf(member));
        names.back().sort();
        lines << heading << names.back();
    }
    if (lines == m_triageShown)
        return;
    m_triageShown = lines;
    ui->triageTree->clear();
    for (std::size_t i = 0; i < std::size(groups); ++i) {
        auto* group = new QTreeWidgetItem(ui->triageTree,
            { QStringLiteral("%1 (%2)").arg(groups[i].first).arg(names[i].size()) });
        for (const QString& name : names[i])
            new QTreeWidgetItem(group, { name });
        group->setExpanded(true);
    }
}

void MeshPanel::collectMetrics(MetricsText& text) const
{
    if (isRunning())
        text.addMesh(m_member);
}

void MeshPanel::finish(Ending ending)
{
    if (isRunning() && ending != Ending::Cancelled)
        stop();
}

void MeshPanel::closeEvent(QCloseEvent* event)
{
    finish(Ending::Announced);
    event->accept();
}
