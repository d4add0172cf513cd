#include "net/InterfaceWatcher.h"

#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

InterfaceWatcher::InterfaceWatcher(QObject* parent)
    : QObject(parent)
{
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterfaceWatcher::drain);
}

InterfaceWatcher::~InterfaceWatcher()
{
    delete m_notifier; // before the descriptor it watches
    if (m_fd >= 0)
        ::close(m_fd);
}

// The messages only say that something changed, and a burst of them one change: all that
// waits is read, and told once. A queue that overflowed (ENOBUFS) says the same.
void InterfaceWatcher::drain()
{
    char buffer[8192];
    while (::recv(m_fd, buffer, sizeof buffer, 0) > 0) { }
    emit changed();
}
