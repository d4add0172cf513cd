#pragma once

#include "core/Defaults.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

class MeshMember;
class ProbeReceiver;
class ProbeSender;
class SourceTable;

// One scrape in Prometheus's text format: what each receiver heard of each source, and what
// each transmitter sent. The tables are read, never copied, so a text lives no longer than
// the call that fills it.
class MetricsText {
public:
    explicit MetricsText(std::size_t maxSources = Defaults::metricsMaxSources);

    void addReceiver(const QString& name, const SourceTable& sources, quint64 hostDrops);
    // Its sources, drops and the querier heard where it joined.
    void addReceiver(const QString& name, const ProbeReceiver& receiver);
    void addTransmitter(const QString& name, const ProbeSender& sender);
    // Its receiver and transmitter as any other's, and what the matrix tells of this member.
    void addMesh(const MeshMember& member);
    // IGMP and MLD queries the program refused as malformed or forged.
    void setRefusedQueries(quint64 count) { m_refusedQueries = count; }
    QByteArray text() const;

private:
    struct Receiver {
        QString name;
        const SourceTable* sources = nullptr;
        quint64 hostDrops = 0;
        const ProbeReceiver* receiver = nullptr;
    };
    struct Transmitter {
        QString name;
        const ProbeSender* sender = nullptr;
    };

    std::size_t m_maxSources;
    quint64 m_refusedQueries = 0;
    std::vector<Receiver> m_receivers;
    std::vector<Transmitter> m_transmitters;
    std::vector<const MeshMember*> m_meshes;

    void appendMeshes(QByteArray& out) const;
};
