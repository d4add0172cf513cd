#include "SocketLayer.h"

#include <sys/socket.h>
#include <unistd.h>

bool AfxSocketInit()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    ::close(probe);
    return true;
}
