#pragma once

#include <QObject>

class QSocketNotifier;

// Tells when the host's interfaces or their addresses change, as the kernel announces it
// (rtnetlink), without polling. One serves the whole program (its HostContext), as every
// descriptor a program watches costs each turn of its event loop.
class InterfaceWatcher : public QObject {
    Q_OBJECT

public:
    explicit InterfaceWatcher(QObject* parent = nullptr);
    ~InterfaceWatcher() override;

signals:
    // Something changed; what, the host says when asked.
    void changed();

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
