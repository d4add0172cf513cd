#include "transmitter/TransmitterPanel.h"
#include "ui_TransmitterPanel.h"

#include "core/StreamProbes.h"
#include "monitor/MetricsText.h"
#include "widgets/FieldReader.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>

TransmitterPanel::TransmitterPanel(HostContext& host, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TransmitterPanel>())
    , m_sender(host)
{
    ui->setupUi(this);
    // Room for the line that reports a failed send, so the panel keeps its size.
    ui->statusLabel->setMinimumHeight(ui->statusLabel->fontMetrics().height());
    for (QLineEdit* shown : { ui->sourcePortEdit, ui->lastSequenceEdit, ui->countdownEdit })
        lock(shown, true);
    connect(ui->randomiseCheck, &QCheckBox::clicked, this, &TransmitterPanel::showRandomSize);
    connect(ui->rateEdit, &QLineEdit::textChanged, this, &TransmitterPanel::showRateOrPeriod);
    connect(ui->startButton, &QPushButton::clicked, this, &TransmitterPanel::toggleStart);
    connect(
        ui->groupEdit, &QLineEdit::textChanged, ui->interfaceCombo, [this](const QString& text) {
            if (const auto group = parseAddress(text.trimmed()))
                ui->interfaceCombo->setFamily(group->protocol());
        });
    connect(ui->pauseButton, &QPushButton::clicked, this, &TransmitterPanel::togglePause);
    connect(&m_sender, &ProbeSender::probeSent, this, &TransmitterPanel::showSent);
    // A send that fails repeats every period: it is told in the panel, never in a box.
    connect(&m_sender, &ProbeSender::sendFailed, ui->statusLabel,
        [this] { ui->statusLabel->setText(m_sender.failure()); });
    connect(&m_sender, &ProbeSender::streamProgress, this, &TransmitterPanel::showProgress);
    connect(&m_sender, &ProbeSender::eventOccurred, this, &TransmitterPanel::eventOccurred);
    showFields();
}

TransmitterPanel::~TransmitterPanel() = default;

bool TransmitterPanel::readFields()
{
    FieldReader fields(this);
    fields.readAddress(ui->groupEdit, m_settings.destination.group);
    // A rate or a period: the other field is disabled.
    m_settings.rate = 0;
    if (ui->rateEdit->text().trimmed().isEmpty())
        fields.readNumber(ui->periodEdit, m_settings.periodSeconds, Limits::period);
    else
        fields.readNumber(ui->rateEdit, m_settings.rate, Limits::rate);
    fields.readNumber(ui->portEdit, m_settings.destination.port, Limits::port);
    // Checked even while Randomise is on, so a size never becomes valid by being hidden.
    fields.readNumber(ui->packetSizeEdit, m_settings.sizeBytes, Limits::packetSize);
    fields.check(ui->packetSizeEdit,
        ui->randomiseCheck->isChecked() || !m_settings.rate
            || m_settings.sizeBytes >= StreamProbes::MinimumSize,
        tr("A stream's probes carry their timing: the packet size must be at least %1.")
            .arg(StreamProbes::MinimumSize));
    fields.readNumber(ui->ttlEdit, m_settings.ttl, Limits::ttl);
    m_settings.randomSize = ui->randomiseCheck->isChecked();
    m_settings.interfaceIndex = ui->interfaceCombo->interfaceIndex();
    return fields.ok();
}

void TransmitterPanel::showFields()
{
    showField(ui->groupEdit, m_settings.destination.group.toString());
    showField(ui->periodEdit, m_settings.periodSeconds);
    showField(ui->rateEdit, m_settings.rate ? QString::number(m_settings.rate) : QString());
    showCounters();
    showField(ui->sourcePortEdit, m_sender.sourcePort());
    showField(ui->portEdit, m_settings.destination.port);
    ui->randomiseCheck->setChecked(m_settings.randomSize);
    showField(ui->packetSizeEdit, m_settings.sizeBytes);
    showField(ui->ttlEdit, m_settings.ttl);
    ui->interfaceCombo->selectInterface(m_settings.interfaceIndex);
}

// All that a tick moves.
void TransmitterPanel::showCounters()
{
    showField(ui->lastSequenceEdit, m_sender.lastSequence());
    showField(ui->countdownEdit, m_sender.countdownSeconds());
}

void TransmitterPanel::configure(const SendSettings& settings)
{
    m_settings = settings;
    showFields();
    showRandomSize();
}

void TransmitterPanel::toggleStart()
{
    if (m_state == State::Stopped)
        start();
    else
        stop(ProbeSender::Stopping::Announced);
}

bool TransmitterPanel::start()
{
    if (!readFields())
        return false;
    // The panel looks started from here on, also when the socket fails below: pressing
    // the button, which now reads "Stop", is how the user retries.
    setFieldsLocked(true);
    ui->startButton->setText(tr("Stop"));
    ui->pauseButton->setEnabled(true);
    // The boxes' captions name the operation that failed, as users of the tool know them.
    if (!m_sender.start(m_settings)) {
        const UdpSocket& socket = m_sender.socket();
        if (!socket.failedOption().isEmpty())
            showSystemError(QStringLiteral("CTxSocket::setsockopt(%1)").arg(socket.failedOption()),
                socket.error());
        showMessageBox({ this, tr("Failed to Create transmit socket"),
            QStringLiteral("CAddTx::StartTransmitter()"), QMessageBox::Critical });
        return false;
    }
    m_state = State::Running;
    showFields();
    // What on this host keeps the probes in stays in the line for sends until one is sent.
    ui->statusLabel->setText(m_sender.hostProblems().join(QLatin1Char(' ')));
    emit started();
    return true;
}

void TransmitterPanel::stop(ProbeSender::Stopping how)
{
    setFieldsLocked(false);
    ui->startButton->setText(tr("Start"));
    ui->pauseButton->setText(tr("Pause"));
    ui->pauseButton->setEnabled(false);
    m_sender.stop(how);
    ui->statusLabel->clear();
    m_state = State::Stopped;
    showFields();
}

void TransmitterPanel::togglePause()
{
    const bool pausing = m_state == State::Running;
    if (!pausing && m_state != State::Paused)
        return;
    ui->pauseButton->setText(pausing ? tr("Unpause") : tr("Pause"));
    m_state = pausing ? State::Paused : State::Running;
    m_sender.setPaused(pausing);
}

// Qt's styles draw a read-only field as an editable one: a locked field takes the window's
// colour, as the fields that only show do.
void TransmitterPanel::setFieldsLocked(bool locked)
{
    for (QLineEdit* edit :
        { ui->groupEdit, ui->portEdit, ui->periodEdit, ui->rateEdit, ui->ttlEdit })
        lock(edit, locked);
    lock(ui->packetSizeEdit, locked && !m_settings.randomSize);
    ui->interfaceCombo->setEnabled(!locked);
    ui->randomiseCheck->setEnabled(!locked);
}

void TransmitterPanel::lock(QLineEdit* edit, bool locked)
{
    edit->setReadOnly(locked);
    QPalette palette = QApplication::palette(edit);
    if (locked)
        palette.setBrush(QPalette::Base, palette.window());
    edit->setPalette(palette);
}

// The box as it stands on screen decides; the settings take it at the next start.
void TransmitterPanel::showRandomSize()
{
    ui->packetSizeEdit->setEnabled(!ui->randomiseCheck->isChecked());
}

// A period or a rate, never both: the one not in use is disabled.
void TransmitterPanel::showRateOrPeriod()
{
    ui->periodEdit->setEnabled(ui->rateEdit->text().trimmed().isEmpty());
}

// A stream lights the lamp at each tick in which it sent, not at each probe.
void TransmitterPanel::tick(int phase)
{
    ui->activityLamp->setLit(false);
    if (m_state != State::Running || !m_sender.tick(phase))
        return;
    showCounters();
    if (m_sender.isStreaming())
        ui->activityLamp->setLit(true);
}

// A stream's line once a second: the rate it achieved, and when it fell behind, by how much.
void TransmitterPanel::showProgress(const StreamProgress& progress)
{
    if (!m_sender.failure().isEmpty())
        ui->statusLabel->setText(m_sender.failure());
    else if (progress.behindMs > 0)
        ui->statusLabel->setText(tr("%1 probes/s, behind schedule by up to %2 ms")
                                     .arg(qRound64(progress.rate))
                                     .arg(progress.behindMs, 0, 'f', 1));
    else
        ui->statusLabel->setText(tr("%1 probes/s, on schedule").arg(qRound64(progress.rate)));
}

// The lamp lights only for a probe that left. A label cleared, even of nothing, lays the
// panel out again: it is touched only when it says something.
void TransmitterPanel::showSent()
{
    ui->activityLamp->setLit(true);
    if (!ui->statusLabel->text().isEmpty())
        ui->statusLabel->clear();
}

void TransmitterPanel::collectMetrics(MetricsText& text) const
{
    text.addTransmitter(name(), m_sender);
}

Panel::Ending TransmitterPanel::askToClose()
{
    if (!isRunning())
        return Ending::Announced;
    const auto answer = showMessageBox({ this,
        tr("The transmitter is still running.\n\nDo you wish to transmit a "
           "\"Transmitter Stopping\" message before stopping it ?"),
        tr("Close Transmitter %1").arg(name()), QMessageBox::Question,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel });
    return answer == QMessageBox::Yes ? Ending::Announced
        : answer == QMessageBox::No   ? Ending::Silent
                                      : Ending::Cancelled;
}

void TransmitterPanel::finish(Ending ending)
{
    if (isRunning() && ending != Ending::Cancelled)
        stop(ending == Ending::Announced ? ProbeSender::Stopping::Announced
                                         : ProbeSender::Stopping::Silent);
}

void TransmitterPanel::closeEvent(QCloseEvent* event)
{
    const Ending ending = askToClose();
    event->setAccepted(ending != Ending::Cancelled);
    finish(ending);
}
