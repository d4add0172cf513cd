#include "net/QuerierWatch.h"

#include "net/Tick.h"

#include <QSocketNotifier>
#include <QtEndian>

#include <cstring>
#include <ctime>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int ReadsPerPass = 64; // a flood of IGMP cannot hold the event loop

// The sender of a query, as recvmsg gives it.
QuerierAddress querierAddress(const sockaddr_storage& from)
{
    QuerierAddress address;
    address.ipv6 = from.ss_family == AF_INET6;
    if (address.ipv6)
        std::memcpy(
            address.bytes.data(), &reinterpret_cast<const sockaddr_in6&>(from).sin6_addr, 16);
    else
        std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in&>(from).sin_addr, 4);
    return address;
}

} // namespace

QuerierWatch::QuerierWatch(QObject* parent)
    : QObject(parent)
{
    open(m_igmp, false);
    open(m_mld, true);
}

QuerierWatch::~QuerierWatch()
{
    for (Raw* raw : { &m_igmp, &m_mld }) {
        delete raw->notifier;
        if (raw->fd >= 0)
            ::close(raw->fd);
    }
}

void QuerierWatch::open(Raw& raw, bool ipv6)
{
    raw.fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC,
        ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_IGMP));
    if (raw.fd < 0)
        return; // no CAP_NET_RAW
    const int on = 1;
    bool set = true;
    if (ipv6) {
        icmp6_filter filter {};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(MLD_LISTENER_QUERY, &filter);
        set = ::setsockopt(raw.fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0
            && ::setsockopt(raw.fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on) == 0
            && ::setsockopt(raw.fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on) == 0
            && ::setsockopt(raw.fd, IPPROTO_IPV6, IPV6_RECVHOPOPTS, &on, sizeof on) == 0;
    } else {
        set = ::setsockopt(raw.fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0;
    }
    if (!set) {
        ::close(raw.fd);
        raw.fd = -1;
        return;
    }
    raw.notifier = new QSocketNotifier(raw.fd, QSocketNotifier::Read, this);
    connect(raw.notifier, &QSocketNotifier::activated, this, [this, ipv6] { read(ipv6); });
}

void QuerierWatch::read(bool ipv6)
{
    const int fd = (ipv6 ? m_mld : m_igmp).fd;
    for (int pass = 0; pass < ReadsPerPass; ++pass) {
        std::uint8_t bytes[1500];
        alignas(cmsghdr) char control[256];
        sockaddr_storage from {};
        iovec vector { bytes, sizeof bytes };
        msghdr message {};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = ::recvmsg(fd, &message, 0);
        if (length <= 0)
            return;
        int interfaceIndex = 0;
        int hopLimit = -1;
        bool routerAlert = false;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                in_pktinfo info {};
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
                interfaceIndex = info.ipi_ifindex;
            } else if (header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_PKTINFO) {
                in6_pktinfo info {};
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
                interfaceIndex = int(info.ipi6_ifindex);
            } else if (header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_HOPLIMIT) {
                std::memcpy(&hopLimit, CMSG_DATA(header), sizeof hopLimit);
            } else if (header->cmsg_level == IPPROTO_IPV6 && header->cmsg_type == IPV6_HOPOPTS) {
                routerAlert = MembershipQuery::hasHopByHopRouterAlert(
                    reinterpret_cast<const std::uint8_t*>(CMSG_DATA(header)),
                    header->cmsg_len - CMSG_LEN(0));
            }
        }
        const auto query = ipv6
            ? MembershipQuery::parseMld(bytes, std::size_t(length), hopLimit, routerAlert)
            : MembershipQuery::parseIgmp(bytes, std::size_t(length));
        // Reports and leaves come here too, from every host of the link: only a query
        // that is not one is refused.
        const bool isQuery = ipv6 || MembershipQuery::isIgmpQuery(bytes, std::size_t(length));
        if (!query) {
            m_refused += isQuery;
            continue;
        }
        m_queriers.heard(
            interfaceIndex, querierAddress(from), *query, Tick::nowMs(), std::time(nullptr));
    }
}

QHostAddress QuerierWatch::address(const QuerierAddress& address)
{
    if (address.ipv6)
        return QHostAddress(address.bytes.data());
    return QHostAddress(qFromBigEndian<quint32>(address.bytes.data()));
}

QString QuerierWatch::name(const QuerierAddress& address)
{
    const QString text = QuerierWatch::address(address).toString();
    return address.isUnspecified() ? tr("a querier without an address (%1)").arg(text) : text;
}
