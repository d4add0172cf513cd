#pragma once

#include "net/HostChecks.h"
#include "net/InterfaceWatcher.h"
#include "net/QuerierWatch.h"

#include <bitset>

// What every panel of a program shares of its host: the watch on its interfaces, the
// queriers heard, and what is told once a run because it is the host's, not a panel's. main
// makes one for the window or the headless run and hands it to what needs it; tests make
// their own.
class HostContext {
public:
    enum class Notice { QueriersUnseen, InContainer, Count };

    InterfaceWatcher& interfaces() { return m_interfaces; }
    QuerierWatch& querierWatch() { return m_querierWatch; }
    const QuerierWatch& querierWatch() const { return m_querierWatch; }
    // True the first time it is asked for a notice, false ever after.
    bool firstTime(Notice notice)
    {
        const bool first = !m_told.test(std::size_t(notice));
        m_told.set(std::size_t(notice));
        return first;
    }

    // That the program runs in a container, for the first panel that starts; nothing after.
    QStringList containerNoticeOnce()
    {
        const QString notice = HostChecks::inContainer();
        return notice.isEmpty() || !firstTime(Notice::InContainer) ? QStringList()
                                                                   : QStringList { notice };
    }

private:
    InterfaceWatcher m_interfaces;
    QuerierWatch m_querierWatch;
    std::bitset<std::size_t(Notice::Count)> m_told;
};
