#include "CTxSocket.h"

CTxSocket::CTxSocket() = default;

CTxSocket::~CTxSocket() = default;

bool CTxSocket::Open(unsigned ttl)
{
    if (!Create(0, SOCK_DGRAM, FD_ALL_EVENTS, nullptr))
        return false;
    // A refused option leaves the system's default in place; the socket is used all the same.
    const int timeToLive = static_cast<int>(ttl);
    SetSockOpt(IP_MULTICAST_TTL, &timeToLive, sizeof timeToLive, IPPROTO_IP);
    const int loop = 1;
    SetSockOpt(IP_MULTICAST_LOOP, &loop, sizeof loop, IPPROTO_IP);
    return true;
}
