#pragma once

#include "core/SourceTable.h"
#include "mesh/MeshMember.h"
#include "net/ProbeReceiver.h"
#include "net/ProbeSender.h"

#include <QCoreApplication>
#include <QStringList>

#include <optional>
#include <vector>

// A receiver the command line asks for: what it listens for, and where its traps go.
struct ReceiverSetup {
    ReceiveSettings settings;
    QString trapDestination; // empty for no traps
    QString community;
};

// What the command line asks for.
struct Options {
    bool headless = false;
    bool json = false;
    bool join = true;
    bool syncedClocks = false; // one-way delays from every sender, not only this host's
    std::vector<Endpoint> transmit;
    std::vector<Endpoint> receive;
    SendSettings sending; // for every transmitter, each with its own destination
    quint32 durationSeconds = 0; // 0 runs until stopped
    quint32 lossThreshold = Defaults::lossThreshold;
    quint32 maxLatencySeconds = Defaults::maxLatency;
    quint32 maxSources = Defaults::maxSources; // a receiver's
    int interfaceIndex = 0; // what every panel sends and joins by; 0: the system's choice
    std::optional<Endpoint> metrics; // where /metrics is served, if anywhere
    quint32 metricsMaxSources = Defaults::metricsMaxSources; // a receiver's, in metrics
    QString snmpTrap; // where receivers send their traps; empty for none
    QString snmpCommunity = QLatin1String(Defaults::community);
    quint32 expectSources = 0; // the senders each receiver must hear; 0 for any
    std::optional<double> maxLoss; // percent a source may lose
    std::optional<Endpoint> mesh; // the group and port of the mesh to be a member of
    bool periodGiven = false; // a mesh sends a probe a second unless told otherwise
    QString memberName;
    std::optional<MeshKey> meshKey;
    QString meshKeyFile; // where meshKey was read
    quint32 maxMembers = MeshSettings::DefaultMaxMembers;
    quint32 expectMembers = 0; // the members a mesh must have; 0 for any

    // A run that is a test ends with a verdict in its exit status.
    bool isTest() const { return durationSeconds || expectSources || maxLoss || expectMembers; }
    // Every transmitter and receiver asked for, with every option that applies to it: the
    // window's panels and a headless run start the same ones.
    std::vector<SendSettings> transmitters() const;
    std::vector<ReceiverSetup> receivers() const;
    std::optional<MeshSettings> meshMember() const;
};

// The program's options, read before any window or display is needed. The limits and
// defaults are the panels' own.
class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    enum class Outcome { Run, Help, Version, Error };

    // The arguments as given to main(), the program's name first.
    Outcome parse(const QStringList& arguments);
    const Options& options() const { return m_options; }
    // One line naming the option at fault and what it accepts.
    QString error() const { return m_error; }

    // One option: its names, the short one first where it has one, what value it takes, and
    // what --help says of it, its lines after the first under the first.
    struct OptionInfo {
        QStringList names;
        QString value; // as --help writes it; empty for a switch
        QString help;
    };
    static std::vector<OptionInfo> optionTable();
    static QString helpText();
    static QString versionText();
    static QString version();

private:
    Outcome fail(const QString& error);

    Options m_options;
    QString m_error;
};
