#pragma once

#include "probe/ProbeDefaults.h"
#include "transmitter/CTxSocket.h"

#include <cstdint>
#include <memory>
#include <string>

// The values a transmitter sends its probes with, and the sending itself.
class CTxProbeSender {
public:
    virtual ~CTxProbeSender();

    // Sends one probe; returns the byte count sent, or -1 with the socket's LastError()
    // telling why. A failed send is not retried and still uses up its sequence number, so
    // receivers see the gap.
    long SendProbe();
    // One second has passed: counts down, and when the period has run out reloads the
    // count and returns true, for a probe to be sent.
    bool CountDown();

    std::string m_strGroup = DEFAULT_GROUP;
    std::uint32_t m_nPort = DEFAULT_PORT;
    std::uint32_t m_nFrequency = DEFAULT_PERIOD;
    std::uint32_t m_nPacketSize = DEFAULT_PACKET_SIZE;
    bool m_bRandomise = false;
    std::uint32_t m_nLastSequence = 0;
    std::uint32_t m_nCountdown = 0; // seconds left to the next probe
    std::uint32_t m_nLastSize = 0; // bytes in the last probe, sent or not
    std::unique_ptr<CTxSocket> m_pSocket;
};
