#pragma once

#include "probe/CProbePacket.h"

#include <QByteArray>

// A probe packet as a transmitter would send it.
inline QByteArray probeBytes(
    quint32 sequence, quint32 frequency = 5, quint32 size = 100, std::int8_t type = 1)
{
    CProbePacket packet(type, sequence, frequency, size);
    const std::uint8_t* bytes = packet.Build();
    return bytes ? QByteArray(reinterpret_cast<const char*>(bytes), int(size)) : QByteArray();
}

// The sequence number of a datagram that parses as a probe, else 0.
inline quint32 sequenceOf(const QByteArray& datagram)
{
    CProbePacket packet;
    if (!packet.Parse(reinterpret_cast<const std::uint8_t*>(datagram.constData()),
            std::size_t(datagram.size())))
        return 0;
    return packet.GetSequence();
}
