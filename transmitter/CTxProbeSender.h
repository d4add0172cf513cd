#pragma once

#include "CTxSocket.h"

#include <cstdint>
#include <memory>
#include <string>

constexpr std::uint32_t PROBE_MAX_SIZE = 1500;
constexpr std::uint32_t RANDOM_SIZE_MIN = 100;
constexpr std::uint32_t RANDOM_SIZE_SPAN = 1400;

// The values a transmitter sends its probes with, and the sending itself.
class CTxProbeSender {
public:
    virtual ~CTxProbeSender();

    // Sends one probe; returns the byte count sent or SOCKET_ERROR. A failed send is not
    // retried and still uses up its sequence number.
    int SendProbe();

    std::string m_strGroup = "234.5.6.7";
    std::uint32_t m_nPort = 8910;
    std::uint32_t m_nFrequency = 5;
    std::uint32_t m_nPacketSize = 1000;
    bool m_bRandomise = false;
    std::uint32_t m_nLastSequence = 0;
    std::unique_ptr<CTxSocket> m_pSocket;
};
