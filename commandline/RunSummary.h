#pragma once

#include "net/PanelNames.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdint>
#include <vector>

class MeshMember;
class ProbeReceiver;
class ProbeSender;
class QTextStream;
struct Source;
struct Options;

// What a run that the command line started ends with, headless or in the window: the
// summary of every source, receiver and transmitter, and the verdict, the reasons a run that
// was a test failed (none when it passed).
class RunSummary {
    Q_DECLARE_TR_FUNCTIONS(RunSummary)

public:
    RunSummary(const Options& options, std::int64_t nowMs);

    void addReceiver(const ProbeReceiver& receiver);
    void addTransmitter(const ProbeSender& sender);
    // Fails unless enough members took part, every member it hears was heard within
    // --max-loss over the run, and every member's last report says it hears this one within
    // --max-loss over the last 60 numbers; a member stopped on purpose is no failure.
    void addMesh(const MeshMember& member);
    // The matrix as a grid up to this many members; past it, the failing pairs.
    static constexpr std::size_t GridMembers = 64;
    // 255.255.255.255:65535: the widest IPv4 endpoint, the least a column of them takes. IPv6
    // ones are as wide as 45 characters: wider than most, and rare.
    static constexpr int EndpointWidth = 21;
    // The receivers' column in text: EndpointWidth, or the longest receiver's name in the run.
    static int receiverWidth(const Options& options);

    // As text tables, or as JSON objects with "summary": true.
    void print(QTextStream& out, bool json) const;
    const QStringList& failures() const { return m_failures; }
    // One line on standard error for each reason the test failed.
    void printFailures(QTextStream& err) const;

private:
    void fail(const QString& why) { m_failures << why; }
    void printMesh(QTextStream& out, bool json) const;
    // Fails a source lost, or that lost more than --max-loss.
    void checkSource(const QString& receiver, const Source& source, const QString& from);

    const Options& m_options;
    std::int64_t m_nowMs;
    // Each with its name, told apart from others of the same group.
    std::vector<std::pair<const ProbeReceiver*, QString>> m_receivers;
    std::vector<std::pair<const ProbeSender*, QString>> m_transmitters;
    const MeshMember* m_mesh = nullptr;
    PanelNames m_receiverNames;
    PanelNames m_transmitterNames;
    QStringList m_failures;
};
