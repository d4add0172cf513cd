#pragma once

#include "probe/CProbePacket.h"
#include "receiver/CRxSocket.h"
#include "receiver/CRxSourceList.h"

#include <QByteArray>
#include <QList>

#include <ctime>

// Stands in for a receiver panel: keeps every datagram a socket delivers and counts the
// probes among them into a table.
class DatagramLog {
public:
    struct Datagram {
        QByteArray bytes;
        std::string address;
        std::uint16_t port = 0;
    };

    explicit DatagramLog(CRxSocket& socket)
    {
        QObject::connect(&socket, &CRxSocket::DatagramReceived, &m_context,
            [this](const std::uint8_t* bytes, std::size_t length, const std::string& address,
                std::uint16_t port) {
                datagrams.append({ QByteArray(reinterpret_cast<const char*>(bytes), int(length)),
                    address, port });
                CProbePacket packet;
                if (packet.Parse(bytes, length))
                    sources.FindOrAdd(address, port, std::time(nullptr), packet.GetFrequency(),
                        packet.GetSequence());
            });
    }

    QList<Datagram> datagrams;
    CRxSourceList sources;

private:
    QObject m_context;
};
