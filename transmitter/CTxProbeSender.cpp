#include "transmitter/CTxProbeSender.h"

#include "probe/CProbePacket.h"

#include <cstdlib>

CTxProbeSender::~CTxProbeSender() = default;

long CTxProbeSender::SendProbe()
{
    // rand() is never seeded, so every run of the program draws the same sizes.
    const std::uint32_t size = m_bRandomise
        ? std::uint32_t(std::rand()) % RANDOM_SIZE_SPAN + RANDOM_SIZE_MIN
        : m_nPacketSize;
    m_nLastSize = size;
    ++m_nLastSequence;
    CProbePacket packet(PROBE_TYPE_PROBE, m_nLastSequence, m_nFrequency, size);
    const std::uint8_t* bytes = packet.Build();
    if (!bytes || !m_pSocket)
        return -1;
    return m_pSocket->SendTo(bytes, size, m_strGroup, std::uint16_t(m_nPort));
}

bool CTxProbeSender::CountDown()
{
    if (--m_nCountdown != 0)
        return false;
    m_nCountdown = m_nFrequency;
    return true;
}
