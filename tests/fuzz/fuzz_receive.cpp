// Fuzzes everything a datagram meets after the socket: parsing, the source table and the
// receiver's list rows. The input is a run of datagrams, each a sender byte, a two-byte
// length and that many bytes; a short tail is one more datagram. After every datagram the
// rows must agree with the table.

#include "CAddRx.h"
#include "CListCtrl.h"
#include "CProbePacket.h"

#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

CAddRx& panel()
{
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char* argv[] = { name, nullptr };
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    static CAddRx* receiver = [] {
        Q_UNUSED(application);
        return new CAddRx;
    }();
    return *receiver;
}

[[noreturn]] void fail(const char* what, int row)
{
    std::fprintf(stderr, "receive path broke: %s (row %d)\n", what, row);
    std::abort();
}

void check(CAddRx& receiver)
{
    const CRxSourceList& sources = receiver.GetSources();
    auto* list = receiver.findChild<CListCtrl*>(QStringLiteral("IDC_RX_SOURCES"));
    if (std::size_t(list->GetItemCount()) != sources.GetCount())
        fail("one row per source", list->GetItemCount());
    for (std::size_t i = 0; i < sources.GetCount(); ++i) {
        const CRxSource& source = sources.GetAt(i);
        const int row = int(i);
        if (source.m_nRow != row)
            fail("rows in order of first arrival", row);
        if (list->GetItemText(row, 0) != QString::fromStdString(source.m_strAddress)
            || list->GetItemText(row, 1) != QString::number(source.m_nPort)
            || list->GetItemText(row, 3) != QString::number(source.m_nLastSeq)
            || list->GetItemText(row, 4) != QString::number(source.m_nFrequency)
            || list->GetItemText(row, 9) != QString::number(source.m_nDups))
            fail("row shows its source", row);
        if (source.m_nHistoryPos >= SEQ_HISTORY_SIZE || source.m_nDups < 0)
            fail("history within bounds", row);
    }
}

} // namespace

// Everything made once (the application, fonts, the panel) is made here, before inputs
// are checked for leaks.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A first row too: the list looks up fonts for it once.
    CProbePacket first(1, 1, 5, 100);
    panel().ProcessDatagram(first.Build(), 100, "192.0.2.1", 1);
    check(panel());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CAddRx& receiver = panel();
    while (size > 0) {
        const std::uint8_t sender = data[0];
        std::size_t length = size - 1;
        const std::uint8_t* bytes = data + 1;
        if (size >= 3) {
            length = std::min<std::size_t>((std::size_t(data[1]) << 8) | data[2], size - 3);
            bytes = data + 3;
        }
        // 16 addresses and 8 ports: enough sources to exercise the table, few enough to
        // keep it small over millions of runs.
        const std::string address = "10.0.0." + std::to_string(sender & 0x0f);
        const std::uint32_t port = 5000u + (sender >> 5);
        receiver.ProcessDatagram(bytes, length, address, port);
        check(receiver);
        const std::size_t used = std::size_t(bytes - data) + length;
        data += used;
        size -= used;
    }
    return 0;
}
