#include "transmitter/CTxSocket.h"

#include <netinet/in.h>

CTxSocket::CTxSocket(QObject* parent)
    : CUdpSocket(parent)
{
}

CTxSocket::~CTxSocket() = default;

bool CTxSocket::Open(unsigned ttl)
{
    if (!Create() || !Bind(0))
        return false;
    // A refused option leaves the system's default in place; the socket is used all the same.
    SetOption(IPPROTO_IP, IP_MULTICAST_TTL, int(ttl));
    SetOption(IPPROTO_IP, IP_MULTICAST_LOOP, 1);
    return true;
}
