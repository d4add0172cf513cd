#pragma once

#include "core/MeshMatrix.h"
#include "core/MeshPager.h"
#include "mesh/MeshKey.h"
#include "net/ProbeReceiver.h"
#include "net/ProbeSender.h"

#include <QObject>
#include <QSet>

#include <optional>
#include <vector>

// What a mesh member sends and listens for.
struct MeshSettings {
    // A probe a second: a mesh tells a pair's fault within seconds.
    static constexpr quint32 DefaultPeriodSeconds = 1;
    static constexpr std::size_t DefaultMaxMembers = 1000;

    SendSettings sending; // its destination the mesh's group and port
    ReceiveSettings receiving;
    QString name; // the host's name by default
    std::optional<MeshKey> key;
    std::size_t maxMembers = DefaultMaxMembers;
};

// A member of a mesh: a transmitter and a receiver on one group and port. Its probes carry
// who it is and what it hears; from the probes of the others it keeps the matrix of who
// hears whom, and tells the pairs it is part of as they fail and recover, and the other
// members' sums as they change. A headless run contains one.
class MeshMember : public QObject {
    Q_OBJECT

public:
    explicit MeshMember(HostContext& host, QObject* parent = nullptr);

    // A new member id and run id, the sender and the receiver started; false when either
    // cannot have its socket (theirs tell why).
    bool start(const MeshSettings& settings);
    // The stopping message sent, the group left.
    void stop();
    void tick(int phase);

    const ProbeSender& sender() const { return m_sender; }
    const ProbeReceiver& receiver() const { return m_receiver; }
    const MeshMatrix& matrix() const { return m_matrix; }
    const MeshSettings& settings() const { return m_settings; }
    // This member's number in the matrix.
    std::size_t self() const { return m_self; }
    // The group and port, as logs and metrics name the mesh.
    QString name() const { return m_settings.sending.destination.toString(); }
    // Signed meshes: reports refused for a wrong tag, or for a sequence that did not move on
    // (a replay); and the members heard without a signature, address:port and name.
    quint64 forgedRefused() const { return m_forgedRefused; }
    quint64 replaysRefused() const { return m_replaysRefused; }
    const QSet<QString>& unverified() const { return m_unverified; }
    // A member's number, NotCounted for a source that is no member.
    std::size_t memberOf(const Source& source) const;

signals:
    void eventOccurred(const Event& event);

private:
    void readBlock(std::size_t source, const ProbeBlock::Reading& block, quint32 sequence);
    bool trusted(const MemberReport& report, const ProbeBlock::Reading& block, quint32 sequence,
        const Source& source);
    void writeBlock(std::vector<std::uint8_t>& probe, quint32 sequence);
    // This member's row, from its receiver's sources, and the view its probes page through.
    void refreshOwnRow();
    void tellReceiverEvent(Event event);
    void tellColumn(std::size_t row, PairState before);
    Event pairEvent(Event::Kind kind, std::size_t hearer, std::size_t heard) const;
    QString memberName(std::size_t member) const;

    MeshSettings m_settings;
    ProbeSender m_sender;
    ProbeReceiver m_receiver;
    MeshMatrix m_matrix;
    MeshPager m_pager;
    std::size_t m_self = 0;
    std::uint64_t m_runId = 0;
    std::size_t m_fit = 0; // view entries a probe holds
    MemberReport m_report; // what the next probe says, its page chosen as it is sent
    std::vector<HeardEntry> m_view;
    std::vector<std::size_t> m_sourceMembers; // by the receiver's source index
    std::vector<bool> m_columnToldLost; // by member: its report of this one told lost
    quint64 m_forgedRefused = 0;
    quint64 m_replaysRefused = 0;
    QSet<QString> m_unverified;
};
