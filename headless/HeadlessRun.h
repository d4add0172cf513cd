#pragma once

#include "commandline/CommandLine.h"
#include "headless/ChangedRows.h"
#include "headless/RowPrinter.h"
#include "monitor/MetricsServer.h"
#include "monitor/ReceiverTraps.h"
#include "net/ProbeReceiver.h"
#include "net/ProbeSender.h"
#include "net/Tick.h"
#include "net/Ticker.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QTextStream;
class StopSignals;

// The transmitters and receivers of the command line, without a window: what happens is
// printed, as text columns or as JSON lines. Runs until --duration has passed or SIGINT or
// SIGTERM comes, then stops its transmitters as planned, leaves its groups, and prints the
// final rows, the summary and, for a test, the verdict.
class HeadlessRun : public QObject {
    Q_OBJECT

public:
    HeadlessRun(HostContext& host, const Options& options, QTextStream& out, QTextStream& err);
    ~HeadlessRun() override;

    // Opens every socket; false (the reason printed) when one cannot be had.
    bool start();
    // Stops the transmitters as planned, leaves the groups, closes the sockets and prints
    // the final rows and the summary.
    void stop();
    // Start, run until told to stop, stop: the exit status, 3 for a test that failed.
    int exec();

signals:
    void stopped();

private:
    struct Receiver {
        explicit Receiver(HostContext& host)
            : receiver(host)
        {
        }
        ReceiverSetup setup;
        QString name; // told apart from other receivers of its group and port
        ProbeReceiver receiver;
        ReceiverTraps traps { receiver };
        ChangedRows changed; // rows to print at the next second
    };
    struct Mesh {
        explicit Mesh(HostContext& host)
            : member(host)
        {
        }
        MeshSettings settings;
        MeshMember member;
        ChangedRows changed; // its receiver's rows to print at the next second
    };
    struct Transmitter {
        explicit Transmitter(HostContext& host)
            : sender(host)
        {
        }
        SendSettings settings;
        QString name;
        ProbeSender sender;
    };

    bool startReceiver(Receiver& receiver);
    bool startTransmitter(Transmitter& transmitter);
    bool startMesh(Mesh& mesh);
    // counts: a row whose count alone moved is printed too.
    void followRows(const ProbeReceiver& receiver, ChangedRows& changed, bool counts);
    void printFinalRows(const QString& name, const ProbeReceiver& receiver);
    bool startMetrics();
    void collectMetrics(MetricsText& text) const;
    void tick(int phase);
    // One line on standard error: what could not be done, for which endpoint, and why.
    void printFailure(const QString& what, const Endpoint& where, const UdpSocket& socket,
        const QString& hint = {});

    HostContext& m_host;
    const Options& m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    RowPrinter m_printer;
    std::vector<std::unique_ptr<Receiver>> m_receivers;
    std::vector<std::unique_ptr<Transmitter>> m_transmitters;
    std::unique_ptr<Mesh> m_mesh;
    // The first second-phase tick comes a full second after the start, as in a panel
    // started just after one.
    Ticker m_ticker { Tick::secondPhase + 1 };
    QTimer m_duration;
    std::unique_ptr<StopSignals> m_stopSignals;
    MetricsServer m_metrics { [this](MetricsText& text) { collectMetrics(text); } };
    bool m_running = false;
    bool m_failed = false; // a test, and it failed
};
