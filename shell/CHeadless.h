#pragma once

#include "receiver/CRxSocket.h"
#include "receiver/CRxSourceList.h"
#include "shell/CCommandLine.h"
#include "transmitter/CTxProbeSender.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QSocketNotifier;
class QTextStream;

// The transmitters and receivers of the command line, without a window: what happens is
// printed, as text columns or as JSON lines. Runs until --duration has passed or SIGINT or
// SIGTERM comes, then leaves its groups and prints the final rows.
class CHeadless : public QObject {
    Q_OBJECT

public:
    CHeadless(const CCommandLine& options, QTextStream& out, QTextStream& err);
    ~CHeadless() override;

    // Opens every socket; false (the reason printed) when one cannot be had.
    bool Start();
    // Leaves the groups, closes the sockets and prints the final rows.
    void Stop();
    // Start, run until told to stop, Stop: the exit status.
    int Exec();

signals:
    void Stopped();

private:
    struct Receiver {
        CEndpoint where;
        CRxSocket socket;
        CRxSourceList sources;
        std::vector<std::size_t> changed; // sources to print at the next second
        std::vector<bool> isChanged;
        bool joined = false;
    };
    struct Transmitter {
        CEndpoint where;
        CTxProbeSender sender;
        std::uint16_t sourcePort = 0;
    };

    bool StartReceiver(Receiver& receiver);
    bool StartTransmitter(Transmitter& transmitter);
    void OnSecond();
    void OnDatagram(Receiver& receiver, const std::uint8_t* bytes, std::size_t length,
        const std::string& address, std::uint16_t port);
    void PrintRow(const Receiver& receiver, const CRxSource& source);
    void PrintHeading();
    void PrintProbe(const Transmitter& transmitter, long sent);
    void CatchStopSignals();

    const CCommandLine& m_options;
    QTextStream& m_out;
    QTextStream& m_err;
    std::vector<std::unique_ptr<Receiver>> m_receivers;
    std::vector<std::unique_ptr<Transmitter>> m_transmitters;
    QTimer m_second;
    QTimer m_duration;
    QSocketNotifier* m_pStopSignal = nullptr;
    bool m_bHeadingPrinted = false;
    bool m_bRunning = false;
};
