#pragma once

#include "net/Event.h"
#include "net/ProbeSender.h"
#include "widgets/Panel.h"

#include <QWidget>

#include <memory>

class QLineEdit;

namespace Ui {
class TransmitterPanel;
}

// The transmitter panel: its form, Start, Pause and Stop; its ProbeSender sends one probe
// per period, counted down on the panel tick.
class TransmitterPanel : public QWidget, public Panel {
    Q_OBJECT
    Q_INTERFACES(Panel)

public:
    enum class State { Stopped, Paused, Running };

    explicit TransmitterPanel(HostContext& host, QWidget* parent = nullptr);
    ~TransmitterPanel() override;

    // Fills the settings in, as a user would before pressing Start.
    void configure(const SendSettings& settings);
    bool start();
    // Stop, and how; the user's Stop button is a planned stop, announced to receivers.
    void stop(ProbeSender::Stopping how);
    bool isRunning() const { return m_state != State::Stopped; }

    State state() const { return m_state; }
    const ProbeSender& sender() const { return m_sender; }

    void tick(int phase) override;
    QString name() const override { return m_settings.destination.toString(); }
    QString role() const override { return tr("Transmitter"); }
    void collectMetrics(MetricsText& text) const override;
    // Asks first while the transmitter runs or is paused.
    Ending askToClose() override;
    void finish(Ending ending) override;

signals:
    void eventOccurred(const Event& event);
    // A start that succeeded.
    void started();

protected:
    // Asks first while the transmitter runs or is paused; Cancel keeps it open and sending.
    void closeEvent(QCloseEvent* event) override;

private:
    void toggleStart();
    void togglePause();
    void showRandomSize();
    void showRateOrPeriod();
    void showProgress(const StreamProgress& progress);
    void setFieldsLocked(bool locked);
    static void lock(QLineEdit* edit, bool locked);
    bool readFields();
    void showFields();
    void showCounters();
    void showSent();

    std::unique_ptr<Ui::TransmitterPanel> ui;
    SendSettings m_settings { { QHostAddress(QLatin1String(Defaults::group)), Defaults::port } };
    ProbeSender m_sender;
    State m_state = State::Stopped;
};
