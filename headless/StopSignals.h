#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM, told from the event loop while an object of this class lives. A signal
// handler may only write to a descriptor; the event loop reads the other end.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void received();

private:
    QSocketNotifier* m_notifier = nullptr;
};
