#include "receiver/CRxSource.h"

#include <algorithm>

CRxSource::CRxSource(const std::string& address, std::uint32_t port, std::time_t time,
    std::uint32_t frequency, std::uint32_t sequence)
{
    Reset();
    m_strAddress = address;
    m_nPort = port;
    Update(time, sequence);
    m_nFrequency = frequency;
}

CRxSource::~CRxSource() = default;

void CRxSource::Reset()
{
    m_strAddress.clear();
    m_nPort = 0;
    m_nLastSeq = 0;
    m_timeLastRx = 0;
    m_nFrequency = 0;
    m_nConsRx = 0;
    m_nConsMiss = 0;
    m_nTotalRx = 0;
    m_nTotalMiss = 0;
    m_nDups = 0;
    m_seqHistory.fill(0);
    m_nHistoryPos = 0;
}

// The history holds the last SEQ_HISTORY_SIZE numbers that were new when they arrived.
// Unused slots hold 0 and match like any other, so a first sequence 0 is a duplicate.
void CRxSource::Update(std::time_t time, std::uint32_t sequence)
{
    m_timeLastRx = time;
    if (std::find(m_seqHistory.begin(), m_seqHistory.end(), sequence) != m_seqHistory.end()) {
        if (m_nDups != std::numeric_limits<std::uint32_t>::max())
            ++m_nDups;
        return;
    }
    m_nLastSeq = sequence;
    m_seqHistory[m_nHistoryPos] = sequence;
    if (++m_nHistoryPos == SEQ_HISTORY_SIZE)
        m_nHistoryPos = 0;
}
