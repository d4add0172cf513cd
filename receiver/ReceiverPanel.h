#pragma once

#include "core/Defaults.h"
#include "core/SourceTable.h"
#include "monitor/TrapSender.h"
#include "net/Event.h"
#include "net/Parsing.h"
#include "net/ReceiveSocket.h"
#include "receiver/SourceModel.h"

#include <QWidget>

#include <memory>

namespace Ui {
class ReceiverPanel;
}

// The receiver panel: binds a port, joins a group if asked, and keeps one list row per
// probe source.
class ReceiverPanel : public QWidget {
    Q_OBJECT

public:
    enum class State { Stopped, Running };

    explicit ReceiverPanel(QWidget* parent = nullptr);
    ~ReceiverPanel() override;

    // Fills the settings in, as a user would before pressing Start.
    void configure(const Endpoint& endpoint, bool join);
    bool start();
    void stop();
    void tick(int phase);

    State state() const { return m_state; }
    // The group and port, as the log names the panel.
    QString name() const { return Endpoint { m_group, m_port, m_source }.toString(); }
    // The interface joins go by; 0 for the system's choice.
    void setInterface(int index);
    void setMaxSources(std::size_t maxSources) { m_sources.setCapacity(maxSources); }
    // The headings and the selected rows, a line each, cells separated by tabs.
    QString selectedRowsText() const;
    // A test trap to the SNMP Trap Destination with the Community as they are in the fields;
    // false, the user told why, when the destination is not one.
    bool sendTestTrap();

    const SourceTable& sources() const { return m_sources; }
    // Since the last Start.
    quint64 hostDrops() const { return m_socket ? m_socket->drops() : 0; }

signals:
    void eventOccurred(const Event& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toggleStart();
    void changeMembership(bool join);
    void resetCounts();
    // One datagram from the socket; the bytes are valid during the call only.
    void countDatagram(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        quint16 port, int ttl);
    void warnEmptyDatagram();
    void warnReceiveFailed(int error);
    void warnJoinRefused(int error);
    void warnMembershipRefused(int error);
    void sendTrap(TrapSender::Kind kind, const Source& source);
    // Traps go to the destination read last; none when it is empty.
    void setUpTraps();
    // What on this host keeps multicast from the panel, under the list and in the log.
    void showHostProblems(const QStringList& problems);
    void setUpList();
    bool readFields();
    bool readTrapFields();
    void showFields();
    void showMembership(bool joined);
    void resizeColumns();
    void fitHeaderHeight();

    std::unique_ptr<Ui::ReceiverPanel> ui;
    QHostAddress m_group { QLatin1String(Defaults::group) };
    quint16 m_port = Defaults::port;
    QHostAddress m_source; // null: any source
    int m_interfaceIndex = 0;
    bool m_join = true;
    QString m_trapDestination = QLatin1String(Defaults::trapDestination);
    QString m_community = QLatin1String(Defaults::community);
    quint32 m_lossThreshold = Defaults::lossThreshold;
    quint32 m_maxLatency = Defaults::maxLatency;
    State m_state = State::Stopped;
    quint32 m_shownDrops = 0;
    quint64 m_shownRefused = 0;
    int m_joinError = 0; // of a join refused at Start, told with the host's problems
    std::unique_ptr<ReceiveSocket> m_socket;
    std::unique_ptr<TrapSender> m_traps;
    SourceTable m_sources;
    SourceModel m_model { m_sources };
};
