#pragma once

#include "net/Parsing.h"

#include <QHostAddress>
#include <QObject>

#include <optional>
#include <vector>

struct Source;

// SNMPv2c notifications to one destination: a source lost, a source recovered, a test. A
// name is looked up without blocking the receive path, and what is sent before the answer
// waits for it.
class TrapSender : public QObject {
    Q_OBJECT

public:
    enum class Kind { SourceLost = 1, SourceRecovered = 2, Test = 3 };
    explicit TrapSender(QObject* parent = nullptr);
    ~TrapSender() override;

    // As parseTrapDestination() reads it; false when it is none.
    bool setDestination(const QString& destination, const QString& community);
    // HOST:PORT, as the log names it.
    QString destination() const;
    void send(Kind kind, const Endpoint& receiver, const Source* source = nullptr);

signals:
    // Told once: the name did not resolve, or the system refused the destination.
    void failed(const QString& why);

private:
    struct Trap {
        Kind kind = Kind::Test;
        QByteArray group;
        quint32 port = 0;
        QByteArray source;
        quint32 sourcePort = 0;
        quint32 lastSequence = 0;
        quint32 probes = 0;
        quint32 missing = 0;
        quint32 duplicates = 0;
    };

    void resolved(const QHostAddress& address);
    void deliver(const Trap& trap);
    // A destination that cannot be reached sends nothing more until it is set again.
    void giveUp(const QString& why);
    void fail(const QString& why);
    void closeSession();

    QString m_host;
    quint16 m_port = Defaults::trapPort;
    QByteArray m_community;
    void* m_session = nullptr;
    int m_lookupId = -1;
    bool m_unusable = false;
    bool m_told = false; // a failure is told once a destination
    std::vector<Trap> m_waiting; // for the name's address
};
