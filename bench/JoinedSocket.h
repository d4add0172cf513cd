#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>

// A UDP socket bound to a port and joined to a group by the system's route, as the program's
// receivers are, with the receive queue asked for (0: the system's default).
inline int joinedSocket(const char* group, std::uint16_t port, int queue = 0)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (queue > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &queue, sizeof queue);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ip_mreq request {};
    inet_pton(AF_INET, group, &request.imr_multiaddr);
    ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    return fd;
}
