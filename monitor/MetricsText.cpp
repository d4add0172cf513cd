#include "monitor/MetricsText.h"

#include "core/SourceTable.h"
#include "mesh/MeshMember.h"
#include "net/PanelNames.h"
#include "net/ProbeReceiver.h"
#include "net/ProbeSender.h"
#include "net/Tick.h"

#include <algorithm>
#include <chrono>

namespace {

std::int64_t realtimeNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A label's value with the three characters the format escapes.
QByteArray escaped(const QString& value)
{
    QByteArray text = value.toUtf8();
    text.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return text;
}

void family(QByteArray& out, const char* name, const char* type, const char* help)
{
    out.append("# HELP ").append(name).append(' ').append(help).append('\n');
    out.append("# TYPE ").append(name).append(' ').append(type).append('\n');
}

} // namespace

MetricsText::MetricsText(std::size_t maxSources)
    : m_maxSources(maxSources)
{
}

void MetricsText::addReceiver(const QString& name, const SourceTable& sources, quint64 hostDrops)
{
    m_receivers.push_back({ name, &sources, hostDrops });
}

void MetricsText::addReceiver(const QString& name, const ProbeReceiver& receiver)
{
    m_receivers.push_back({ name, &receiver.sources(), receiver.hostDrops(), &receiver });
}

void MetricsText::addTransmitter(const QString& name, const ProbeSender& sender)
{
    m_transmitters.push_back({ name, &sender });
}

void MetricsText::addMesh(const MeshMember& member)
{
    addReceiver(member.name(), member.receiver());
    addTransmitter(member.name(), member.sender());
    m_meshes.push_back(&member);
}

QByteArray MetricsText::text() const
{
    // Two panels on one group and port would give the same series twice, which Prometheus
    // refuses whole.
    PanelNames receiverNames;
    std::vector<QByteArray> receivers;
    for (const Receiver& receiver : m_receivers)
        receivers.push_back(escaped(receiverNames.next(receiver.name)));
    PanelNames transmitterNames;
    std::vector<QByteArray> transmitters;
    for (const Transmitter& transmitter : m_transmitters)
        transmitters.push_back(escaped(transmitterNames.next(transmitter.name)));

    QByteArray out;
    family(out, "lumivox_build_info", "gauge", "The program's version, as a label.");
    out.append("lumivox_build_info{version=\"" LUMIVOX_VERSION "\"} 1\n");

    // One family of every source of every receiver; value() gives a sample's text, or an
    // empty one for none. A source stopped on purpose an hour ago is of no more interest,
    // as a silent one gives way in its table after an hour.
    const std::int64_t now = Tick::nowMs();
    // Every source shown, with a writer of its labels.
    const auto eachSource = [&](auto write) {
        for (std::size_t r = 0; r < m_receivers.size(); ++r) {
            const SourceTable& sources = *m_receivers[r].sources;
            const std::size_t shown = std::min(sources.size(), m_maxSources);
            for (std::size_t i = 0; i < shown; ++i) {
                const Source& source = sources.at(i);
                if (source.stopped
                    && now - source.lastArrivalMs >= SourceTable::DefaultGiveWayAfterMs)
                    continue;
                write(source, [&] {
                    out.append("receiver=\"").append(receivers[r]);
                    out.append("\",source=\"")
                        .append(escaped(QString::fromStdString(source.address)));
                    out.append("\",source_port=\"").append(QByteArray::number(source.port));
                    out.append('"');
                });
            }
        }
    };
    const auto perSource = [&](const char* name, const char* type, const char* help, auto value) {
        family(out, name, type, help);
        eachSource([&](const Source& source, auto labels) {
            const QByteArray sample = value(source);
            if (sample.isEmpty())
                return;
            out.append(name).append('{');
            labels();
            out.append("} ").append(sample).append('\n');
        });
    };
    perSource("lumivox_rx_probes_total", "counter", "Probes received with a new number.",
        [](const Source& s) { return QByteArray::number(s.totalReceived); });
    perSource("lumivox_rx_duplicate_probes_total", "counter",
        "Probes received again with a number already seen.",
        [](const Source& s) { return QByteArray::number(s.duplicates); });
    perSource("lumivox_rx_late_probes_total", "counter",
        "Probes with a new number that came after a higher one.",
        [](const Source& s) { return QByteArray::number(s.late); });
    perSource("lumivox_rx_missing_probes", "gauge",
        "Numbers skipped or overdue and not arrived since; falls when a late probe arrives.",
        [](const Source& s) { return QByteArray::number(s.totalMissed); });
    perSource("lumivox_rx_last_probe_timestamp_seconds", "gauge",
        "When the last probe arrived, in seconds since the epoch.",
        [](const Source& s) { return QByteArray::number(qint64(s.lastReceived)); });
    perSource("lumivox_rx_source_lost", "gauge",
        "1 while the source is lost: as many numbers in a row overdue as the loss threshold.",
        [](const Source& s) { return QByteArray(s.lost ? "1" : "0"); });
    perSource("lumivox_rx_source_stopped", "gauge",
        "1 while the source is stopped: its transmitter said it stops, and nothing is overdue.",
        [](const Source& s) { return QByteArray(s.stopped ? "1" : "0"); });
    perSource("lumivox_rx_ttl", "gauge", "The TTL or hop limit the last probe arrived with.",
        [](const Source& s) {
            return s.receivedTtl < 0 ? QByteArray() : QByteArray::number(s.receivedTtl);
        });

    perSource("lumivox_rx_jitter_seconds", "gauge",
        "The interarrival jitter of RFC 3550, from the send times a stream's probes carry.",
        [](const Source& s) {
            const auto jitter = s.timing.jitterMs();
            return jitter ? QByteArray::number(*jitter / 1000, 'g', 9) : QByteArray();
        });
    perSource("lumivox_rx_rate_probes_per_second", "gauge",
        "New numbers received over the last second.",
        [](const Source& s) { return QByteArray::number(s.timing.rate(realtimeNs()), 'g', 9); });
    perSource("lumivox_rx_one_way_delay_seconds", "gauge",
        "The median one-way delay of the last 1000 probes, where the clocks agree.",
        [](const Source& s) {
            const auto delay = s.timing.delay();
            return delay ? QByteArray::number(delay->medianMs / 1000, 'g', 9) : QByteArray();
        });
    // Outages: the arrival after missing numbers less the one before them, less a period.
    family(out, "lumivox_rx_outage_seconds", "histogram",
        "Outages, from the arrival before missing numbers to the one after, less a period.");
    eachSource([&](const Source& source, auto labels) {
        // A bucket counts the outages up to the next floor; +Inf all of them.
        const auto& counts = source.timing.outages();
        std::uint64_t cumulative = 0;
        for (std::size_t bucket = 0; bucket < counts.size(); ++bucket) {
            cumulative += counts[bucket];
            const bool last = bucket + 1 == counts.size();
            out.append("lumivox_rx_outage_seconds_bucket{");
            labels();
            out.append(",le=\"")
                .append(last ? QByteArray("+Inf")
                             : QByteArray::number(
                                 double(ArrivalTiming::OutageFloorsMs[bucket + 1]) / 1000))
                .append("\"} ")
                .append(QByteArray::number(cumulative))
                .append('\n');
        }
        out.append("lumivox_rx_outage_seconds_sum{");
        labels();
        out.append("} ")
            .append(QByteArray::number(double(source.timing.outageSumNs()) / 1e9, 'g', 9))
            .append("\nlumivox_rx_outage_seconds_count{");
        labels();
        out.append("} ").append(QByteArray::number(cumulative)).append('\n');
    });

    // One sample a panel, labelled with its kind's label.
    const auto perPanel = [&](const char* name, const char* type, const char* help,
                              const char* label, const std::vector<QByteArray>& names, auto value) {
        family(out, name, type, help);
        for (std::size_t i = 0; i < names.size(); ++i)
            out.append(name)
                .append('{')
                .append(label)
                .append("=\"")
                .append(names[i])
                .append("\"} ")
                .append(value(i))
                .append('\n');
    };
    perPanel("lumivox_rx_host_drops_total", "counter",
        "Datagrams this host dropped because the receiver's queue was full.", "receiver", receivers,
        [this](std::size_t r) { return QByteArray::number(m_receivers[r].hostDrops); });
    perPanel("lumivox_rx_missing_dropped_on_host", "gauge",
        "Of the numbers counted missing, those this host dropped itself: the rest is the "
        "network's.",
        "receiver", receivers, [this](std::size_t r) {
            return QByteArray::number(
                m_receivers[r].sources->droppedOnHost(m_receivers[r].hostDrops));
        });
    perPanel("lumivox_rx_sources_refused_total", "counter",
        "Probes of new sources refused because the receiver held as many sources as it keeps.",
        "receiver", receivers,
        [this](std::size_t r) { return QByteArray::number(m_receivers[r].sources->refused()); });
    perPanel("lumivox_rx_blocks_refused_total", "counter",
        "Probes whose extension block was malformed or failed its CRC; each was counted as a "
        "probe.",
        "receiver", receivers, [this](std::size_t r) {
            return QByteArray::number(m_receivers[r].sources->blocksRefused());
        });
    perPanel("lumivox_rx_sources_not_exported", "gauge",
        "Sources the receiver has heard beyond those these metrics show.", "receiver", receivers,
        [this](std::size_t r) {
            const std::size_t size = m_receivers[r].sources->size();
            return QByteArray::number(quint64(size - std::min(size, m_maxSources)));
        });
    // The querier heard where each receiver joined; without CAP_NET_RAW, only that it cannot
    // be seen.
    std::vector<ProbeReceiver::QuerierState> queriers;
    for (const Receiver& receiver : m_receivers)
        queriers.push_back(
            receiver.receiver ? receiver.receiver->querierState() : ProbeReceiver::QuerierState());
    perPanel("lumivox_rx_querier_visible", "gauge",
        "1 where IGMP or MLD queriers can be seen (the program has CAP_NET_RAW).", "receiver",
        receivers, [&](std::size_t r) { return QByteArray(queriers[r].visible ? "1" : "0"); });
    perPanel("lumivox_rx_querier_gone", "gauge",
        "1 while no querier has been heard where the receiver joined for as long as the "
        "protocol waits (255 s by default): a switch that snoops will stop forwarding.",
        "receiver", receivers,
        [&](std::size_t r) { return QByteArray(queriers[r].gone ? "1" : "0"); });
    perPanel("lumivox_rx_queries_total", "counter",
        "IGMP or MLD queries heard on the interface the receiver joined on.", "receiver", receivers,
        [&](std::size_t r) { return QByteArray::number(queriers[r].queries); });
    // A sample of each receiver that has heard a querier: the labels after its own, and the
    // value.
    const auto perQuerier = [&](const char* name, const char* help, auto labelsAndValue) {
        family(out, name, "gauge", help);
        for (std::size_t r = 0; r < m_receivers.size(); ++r) {
            if (const auto* querier = queriers[r].querier)
                out.append(name)
                    .append("{receiver=\"")
                    .append(receivers[r])
                    .append(labelsAndValue(queriers[r], *querier));
        }
    };
    perQuerier("lumivox_rx_querier_info",
        "The querier last heard where the receiver joined, with its version.",
        [](const ProbeReceiver::QuerierState& state, const QuerierTable::Querier& querier) {
            return "\",interface=\"" + escaped(state.interface) + "\",querier=\""
                + escaped(QuerierWatch::address(querier.address).toString()) + "\",version=\""
                + (querier.query.ipv6 ? "MLDv" : "IGMPv")
                + QByteArray::number(querier.query.version) + "\"} 1\n";
        });
    perQuerier("lumivox_rx_querier_last_query_timestamp_seconds",
        "When the querier's last general query came, in seconds since the epoch.",
        [](const ProbeReceiver::QuerierState&, const QuerierTable::Querier& querier) {
            return "\"} " + QByteArray::number(qint64(querier.lastQueryAt)) + '\n';
        });
    family(out, "lumivox_querier_packets_refused_total", "counter",
        "IGMP and MLD queries refused as malformed or forged, by the whole program.");
    out.append("lumivox_querier_packets_refused_total ")
        .append(QByteArray::number(m_refusedQueries))
        .append('\n');
    perPanel("lumivox_tx_probes_total", "counter", "Probes sent.", "transmitter", transmitters,
        [this](
            std::size_t t) { return QByteArray::number(m_transmitters[t].sender->sentCount()); });
    perPanel("lumivox_tx_send_failures_total", "counter",
        "Probes the system refused to send, or dropped and said so.", "transmitter", transmitters,
        [this](std::size_t t) {
            return QByteArray::number(m_transmitters[t].sender->failureCount());
        });
    perPanel("lumivox_tx_late_probes_total", "counter",
        "A stream's probes sent more than 1 ms after their time: it fell behind schedule.",
        "transmitter", transmitters, [this](std::size_t t) {
            return QByteArray::number(m_transmitters[t].sender->lateCount());
        });
    perPanel("lumivox_tx_behind_schedule_seconds", "gauge",
        "How far behind schedule a stream was at worst over the last second.", "transmitter",
        transmitters, [this](std::size_t t) {
            return QByteArray::number(m_transmitters[t].sender->behindMs() / 1000);
        });
    if (!m_meshes.empty())
        appendMeshes(out);
    return out;
}

// A member's own row is in the receive series above; member_info joins them to members.
// Each family once, with a sample of every mesh, told apart as panels of one group are.
void MetricsText::appendMeshes(QByteArray& out) const
{
    const std::int64_t now = Tick::nowMs();
    PanelNames meshNames;
    std::vector<QByteArray> labels;
    std::vector<MeshMatrix::Triage> triages;
    for (const MeshMember* mesh : m_meshes) {
        labels.push_back("{mesh=\"" + escaped(meshNames.next(mesh->name())) + '"');
        triages.push_back(mesh->matrix().triage(now));
    }
    std::size_t at = 0; // the mesh being written
    const auto sample = [&](const char* name, const QByteArray& more, auto value) {
        out.append(name).append(labels[at]).append(more).append("} ");
        out.append(QByteArray::number(value)).append('\n');
    };
    // A family, and fill(mesh) writing each mesh's samples.
    const auto perMesh = [&](const char* name, const char* type, const char* help, auto fill) {
        family(out, name, type, help);
        for (at = 0; at < m_meshes.size(); ++at)
            fill(*m_meshes[at]);
    };
    const auto memberLabels = [](const MeshMatrix& matrix, std::size_t m) {
        return ",member=\"" + QByteArray::number(matrix.at(m).id, 16).rightJustified(16, '0')
            + "\",name=\"" + escaped(QString::fromStdString(matrix.nameOf(m))) + '"';
    };
    // The other members heard, those of them whose report says they hear this one.
    const auto others = [](const MeshMatrix& matrix, std::size_t m) {
        return !matrix.at(m).self && matrix.at(m).firstHeardMs >= 0;
    };
    perMesh("lumivox_mesh_member_info", "gauge",
        "A member this one hears, with the address and port its probes come from.",
        [&](const MeshMember& mesh) {
            const MeshMatrix& matrix = mesh.matrix();
            for (std::size_t m = 0; m < matrix.size(); ++m) {
                if (others(matrix, m))
                    sample("lumivox_mesh_member_info",
                        memberLabels(matrix, m) + ",address=\""
                            + escaped(QString::fromStdString(matrix.at(m).address)) + "\",port=\""
                            + QByteArray::number(matrix.at(m).port) + '"',
                        1);
            }
        });
    const auto hearsThisOne = [](const MeshMember& mesh, std::size_t m) {
        return mesh.matrix().cell(m, mesh.self()).state == PairState::Ok;
    };
    perMesh("lumivox_mesh_heard_by", "gauge",
        "1 where the member's last report says it hears this one, 0 where it says it does not "
        "or says nothing of it.",
        [&](const MeshMember& mesh) {
            for (std::size_t m = 0; m < mesh.matrix().size(); ++m) {
                if (others(mesh.matrix(), m))
                    sample("lumivox_mesh_heard_by", memberLabels(mesh.matrix(), m),
                        int(hearsThisOne(mesh, m)));
            }
        });
    perMesh("lumivox_mesh_members", "gauge", "Members that took part, this one included.",
        [&](const MeshMember& mesh) {
            sample("lumivox_mesh_members", {}, quint64(mesh.matrix().taking()));
        });
    perMesh("lumivox_mesh_hears_members", "gauge", "Members this one hears.",
        [&](const MeshMember& mesh) {
            sample("lumivox_mesh_hears_members", {},
                quint64(mesh.matrix().at(mesh.self()).summary.ok));
        });
    perMesh("lumivox_mesh_heard_by_members", "gauge",
        "Members whose last report says they hear this one.", [&](const MeshMember& mesh) {
            quint64 heardBy = 0;
            for (std::size_t m = 0; m < mesh.matrix().size(); ++m)
                heardBy += m != mesh.self() && hearsThisOne(mesh, m);
            sample("lumivox_mesh_heard_by_members", {}, heardBy);
        });
    perMesh("lumivox_mesh_triage_members", "gauge",
        "Members by what needs a look: hear no one, heard by no one, hear only some, warming "
        "up (first heard less than three periods ago), hear no querier.",
        [&](const MeshMember&) {
            const MeshMatrix::Triage& triage = triages[at];
            for (const auto& [name, members] : { std::pair("hear_no_one", &triage.hearNoOne),
                     { "heard_by_no_one", &triage.heardByNoOne }, { "hear_some", &triage.hearSome },
                     { "warming_up", &triage.warmingUp }, { "no_querier", &triage.noQuerier } })
                sample("lumivox_mesh_triage_members", QByteArray(",triage=\"") + name + '"',
                    quint64(members->size()));
        });
    perMesh("lumivox_mesh_reports_refused_total", "counter",
        "Reports not taken: a new member past --max-members, a signature that is wrong, or a "
        "signed sequence that did not move on (a replay).",
        [&](const MeshMember& mesh) {
            sample("lumivox_mesh_reports_refused_total", ",reason=\"members_full\"",
                mesh.matrix().refused());
            sample("lumivox_mesh_reports_refused_total", ",reason=\"signature\"",
                mesh.forgedRefused());
            sample(
                "lumivox_mesh_reports_refused_total", ",reason=\"replay\"", mesh.replaysRefused());
        });
    perMesh("lumivox_mesh_unverified_members", "gauge",
        "Senders of unsigned reports heard in a signed mesh, up to a hundred; their reports are "
        "not read.",
        [&](const MeshMember& mesh) {
            sample("lumivox_mesh_unverified_members", {}, quint64(mesh.unverified().size()));
        });
}
