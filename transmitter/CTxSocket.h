#pragma once

#include "platform/CUdpSocket.h"

// The socket through which one transmitter sends its probes: any local port, the chosen
// multicast TTL and multicast loopback on. It never reads.
class CTxSocket : public CUdpSocket {
    Q_OBJECT

public:
    explicit CTxSocket(QObject* parent = nullptr);
    ~CTxSocket() override;

    bool Open(unsigned ttl);
};
