#include "CTxProbeSender.h"

#include "CProbePacket.h"

#include <cstdlib>

CTxProbeSender::~CTxProbeSender() = default;

int CTxProbeSender::SendProbe()
{
    // rand() is never seeded, so every run of the program draws the same sizes.
    const std::uint32_t size = m_bRandomise
        ? static_cast<std::uint32_t>(std::rand()) % RANDOM_SIZE_SPAN + RANDOM_SIZE_MIN
        : m_nPacketSize;
    ++m_nLastSequence;
    CProbePacket packet(1, m_nLastSequence, m_nFrequency, size);
    const std::uint8_t* bytes = packet.Build();
    if (!bytes || !m_pSocket)
        return SOCKET_ERROR;
    return m_pSocket->SendTo(bytes, static_cast<int>(size), m_nPort, m_strGroup, 0);
}
