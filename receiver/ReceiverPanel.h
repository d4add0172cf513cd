#pragma once

#include "core/Recurring.h"
#include "monitor/ReceiverTraps.h"
#include "net/ProbeReceiver.h"
#include "receiver/SourceModel.h"
#include "widgets/Panel.h"

#include <QWidget>

#include <memory>

namespace Ui {
class ReceiverPanel;
}

// The receiver panel: its form, Start and Stop. What it receives, counts and tells comes
// from its ProbeReceiver; the panel shows it.
class ReceiverPanel : public QWidget, public Panel {
    Q_OBJECT
    Q_INTERFACES(Panel)

public:
    explicit ReceiverPanel(HostContext& host, QWidget* parent = nullptr);
    ~ReceiverPanel() override;

    // Fills the settings in, as a user would before pressing Start; an empty destination
    // sends no traps.
    void configure(const ReceiveSettings& settings,
        const QString& trapDestination = QLatin1String(Defaults::trapDestination),
        const QString& community = QLatin1String(Defaults::community));
    bool start();
    void stop();
    // A test trap to the SNMP Trap Destination with the Community as they are in the fields;
    // false, the user told why, when the destination is not one.
    bool sendTestTrap();

    const ProbeReceiver& receiver() const { return m_receiver; }

    void tick(int phase) override;
    QString name() const override { return m_settings.where.toString(); }
    QString role() const override { return tr("Receiver"); }
    void collectMetrics(MetricsText& text) const override;
    bool isRunning() const { return m_receiver.isStarted(); }

signals:
    void eventOccurred(const Event& event);
    // A start that succeeded.
    void started();

private:
    void toggleStart();
    void changeMembership(bool join);
    bool readFields();
    bool readTrapFields();
    void showFields();
    void showMembership(bool joined);
    // What on this host keeps multicast from the panel, under the list.
    void showHostProblems(const QStringList& problems);
    // The querier heard where the receiver joined, under the list.
    void showQuerier();
    void warnMembershipRefused(int error);

    std::unique_ptr<Ui::ReceiverPanel> ui;
    ReceiveSettings m_settings;
    quint32 m_lossThreshold = Defaults::lossThreshold;
    quint32 m_maxLatencySeconds = Defaults::maxLatency;
    QString m_trapDestination = QLatin1String(Defaults::trapDestination);
    QString m_community = QLatin1String(Defaults::community);
    quint32 m_shownDrops = 0;
    quint64 m_shownMissing = 0;
    quint64 m_shownRefused = 0;
    Recurring m_emptyDatagrams;
    ProbeReceiver m_receiver;
    ReceiverTraps m_traps { m_receiver };
    SourceModel m_model { m_receiver.sources() };
};
