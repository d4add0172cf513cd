#pragma once

#include "CAsyncSocket.h"

// The socket through which one transmitter sends its probes: any local port, the chosen
// multicast TTL and multicast loopback on. It ignores every notification.
class CTxSocket : public CAsyncSocket {
    Q_OBJECT

public:
    CTxSocket();
    ~CTxSocket() override;

    bool Open(unsigned ttl);
};
