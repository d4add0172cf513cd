// Fuzzes everything a datagram meets after the socket: parsing and the source table. The
// input is a run of datagrams, each a sender byte, a two-byte length and that many bytes;
// a short tail is one more datagram. After every datagram the table must still hold what
// it promises.

#include "probe/CProbePacket.h"
#include "receiver/CRxSourceList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "receive path broke: %s\n", what);
    std::abort();
}

// One datagram, as the receiver panel takes it; checks what the table promises.
void receive(CRxSourceList& table, const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint32_t port, std::time_t time)
{
    CProbePacket packet;
    const std::size_t before = table.GetCount();
    if (!packet.Parse(bytes, length))
        return;
    if (length < PROBE_HEADER_SIZE || packet.GetType() < PROBE_TYPE_PROBE
        || packet.GetType() > PROBE_TYPE_LAST)
        fail("only probes parse");
    const CRxSource* known = nullptr;
    for (std::size_t i = 0; i < before; ++i) {
        const CRxSource& source = table.GetAt(i);
        if (source.m_strAddress == address && source.m_nPort == port)
            known = &source;
    }
    const std::uint32_t lastSeq = known ? known->m_nLastSeq : 0;
    const std::uint32_t dups = known ? known->m_nDups : 0;
    const std::uint32_t frequency = known ? known->m_nFrequency : packet.GetFrequency();

    std::size_t index = before + 1;
    const CRxSource* source
        = table.FindOrAdd(address, port, time, packet.GetFrequency(), packet.GetSequence(), &index);
    if (!source || index >= table.GetCount() || &table.GetAt(index) != source)
        fail("the record is the one at its index");
    if (known ? (source != known || table.GetCount() != before)
              : (index != before || table.GetCount() != before + 1))
        fail("one record per sender, in order of first arrival");
    if (source->m_strAddress != address || source->m_nPort != port)
        fail("the record is its sender's");
    if (source->m_nFrequency != frequency || source->m_timeLastRx != time)
        fail("the first period stays, the time follows");
    const bool duplicate = source->m_nDups != dups;
    if (duplicate ? (source->m_nDups != dups + 1 || source->m_nLastSeq != lastSeq)
                  : source->m_nLastSeq != packet.GetSequence())
        fail("a number is either new or a duplicate");
    if (source->m_nHistoryPos >= SEQ_HISTORY_SIZE
        || std::find(source->m_seqHistory.begin(), source->m_seqHistory.end(), packet.GetSequence())
            == source->m_seqHistory.end())
        fail("the history holds the number");
    if (source->m_nConsRx || source->m_nConsMiss || source->m_nTotalRx || source->m_nTotalMiss)
        fail("the counters stay 0");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CRxSourceList table;
    std::time_t time = 1000;
    while (size > 0) {
        const std::uint8_t sender = data[0];
        std::size_t length = size - 1;
        const std::uint8_t* bytes = data + 1;
        if (size >= 3) {
            length = std::min<std::size_t>((std::size_t(data[1]) << 8) | data[2], size - 3);
            bytes = data + 3;
        }
        // 16 addresses and 8 ports: enough sources to exercise the table, few enough to
        // repeat senders often.
        const std::string address = "10.0.0." + std::to_string(sender & 0x0f);
        const std::uint32_t port = 5000u + (sender >> 5);
        receive(table, bytes, length, address, port, ++time);
        const std::size_t used = std::size_t(bytes - data) + length;
        data += used;
        size -= used;
    }
    return 0;
}
