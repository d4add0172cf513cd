#pragma once

#include <QObject>

class QSocketNotifier;

// Tells when the host's interfaces or their addresses change, as the kernel announces it
// (rtnetlink), without polling: one socket for the whole program, as every descriptor a
// program watches costs each turn of its event loop.
class InterfaceWatcher : public QObject {
    Q_OBJECT

public:
    // The one of the program, made at the first use.
    static InterfaceWatcher& instance();
    ~InterfaceWatcher() override;

signals:
    // Something changed; what, the host says when asked.
    void changed();

private:
    explicit InterfaceWatcher(QObject* parent);
    void drain();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
