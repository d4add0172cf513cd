#pragma once

#include "CProbePacket.h"
#include "CRxSocketOwner.h"
#include "CRxSourceList.h"
#include "MessageBox.h"

#include <QByteArray>
#include <QList>

#include <ctime>

// Stands in for a receiver panel: keeps every datagram and counts the probes among them.
class RecordingOwner : public CRxSocketOwner {
public:
    struct Datagram {
        QByteArray bytes;
        std::string address;
        std::uint32_t port = 0;
    };

    void ProcessDatagram(const std::uint8_t* bytes, std::size_t length, const std::string& address,
        std::uint32_t port) override
    {
        datagrams.append(
            { QByteArray(reinterpret_cast<const char*>(bytes), int(length)), address, port });
        CProbePacket packet;
        if (packet.Parse(bytes, length))
            sources.FindOrAdd(
                address, port, std::time(nullptr), packet.GetFrequency(), packet.GetSequence());
    }

    int MessageBox(const QString& text, const QString& caption, unsigned type) override
    {
        return ShowMessageBox(nullptr, text, caption, type);
    }

    QList<Datagram> datagrams;
    CRxSourceList sources;
};
