#include "Templates.h"

#include "resource.h"

namespace {

constexpr unsigned EDIT = CS_TABSTOP | CS_AUTOHSCROLL;
constexpr unsigned READ_ONLY = CS_READONLY | CS_AUTOHSCROLL;

} // namespace

const DialogTemplate& AddTxTemplate()
{
    static const DialogTemplate addTx { IDD_ADDTX, { 213, 169 },
        {
            { ControlKind::Edit, "IDC_TX_GROUP", { 111, 7, 95, 14 }, {}, EDIT },
            { ControlKind::Edit, "IDC_TX_PORT", { 111, 22, 40, 14 }, {}, EDIT },
            { ControlKind::ComboBox, "IDC_TX_INTERFACE", { 111, 38, 95, 13 }, {}, CS_TABSTOP },
            { ControlKind::Edit, "IDC_TX_FREQUENCY", { 111, 52, 40, 14 }, {}, EDIT },
            { ControlKind::Edit, "IDC_TX_PACKET_SIZE", { 111, 68, 40, 14 }, {}, EDIT },
            { ControlKind::CheckBox, "IDC_TX_RANDOMISE", { 155, 68, 51, 10 }, "Randomise",
                CS_TABSTOP },
            { ControlKind::Edit, "IDC_TX_TTL", { 111, 82, 40, 14 }, {}, EDIT },
            { ControlKind::Edit, "IDC_TX_SRC_PORT", { 111, 97, 40, 14 }, {}, READ_ONLY },
            { ControlKind::Edit, "IDC_TX_LAST_SEQ", { 111, 113, 40, 14 }, {}, READ_ONLY },
            { ControlKind::Edit, "IDC_TX_COUNTDOWN", { 111, 127, 40, 14 }, {}, READ_ONLY },
            { ControlKind::PushButton, "IDC_TX_START", { 55, 148, 50, 14 }, "Start", CS_TABSTOP },
            { ControlKind::PushButton, "IDC_TX_PAUSE", { 107, 148, 50, 14 }, "Pause",
                CS_TABSTOP | CS_DISABLED },
            { ControlKind::Label, "", { 7, 7, 89, 8 }, "Destination Multicast Address", CS_NONE,
                "IDC_TX_GROUP" },
            { ControlKind::Label, "", { 8, 22, 64, 8 }, "Destination UDP Port", CS_NONE,
                "IDC_TX_PORT" },
            { ControlKind::Label, "", { 7, 52, 70, 8 }, "Transmit Frequency (s)", CS_NONE,
                "IDC_TX_FREQUENCY" },
            { ControlKind::Label, "", { 7, 97, 98, 8 }, "Source UDP Port", CS_NONE,
                "IDC_TX_SRC_PORT" },
            { ControlKind::Label, "", { 7, 68, 70, 8 }, "Packet Size (1-1500)", CS_NONE,
                "IDC_TX_PACKET_SIZE" },
            { ControlKind::Label, "", { 7, 127, 98, 8 }, "Countdown to Next Transmission", CS_NONE,
                "IDC_TX_COUNTDOWN" },
            { ControlKind::Label, "", { 7, 113, 98, 8 }, "Last Transmitted Sequence #", CS_NONE,
                "IDC_TX_LAST_SEQ" },
            { ControlKind::Label, "", { 7, 82, 70, 8 }, "TTL", CS_NONE, "IDC_TX_TTL" },
            { ControlKind::Icon, "IDC_TX_ACTIVITY", { 185, 121, 20, 20 }, {}, CS_HIDDEN },
            { ControlKind::Label, "", { 7, 37, 64, 8 }, "Output Interface", CS_NONE,
                "IDC_TX_INTERFACE" },
        } };
    return addTx;
}

const DialogTemplate& AddRxTemplate()
{
    static const DialogTemplate addRx { IDD_ADDRX, { 322, 246 },
        {
            { ControlKind::Label, "", { 7, 7, 72, 8 }, "Multicast Address", CS_NONE,
                "IDC_RX_GROUP" },
            { ControlKind::Edit, "IDC_RX_GROUP", { 93, 7, 79, 14 }, {}, EDIT },
            { ControlKind::Label, "", { 187, 7, 52, 8 }, "UDP Port", CS_NONE, "IDC_RX_PORT" },
            { ControlKind::Edit, "IDC_RX_PORT", { 275, 7, 40, 14 }, {}, EDIT },
            { ControlKind::Label, "", { 7, 23, 76, 8 }, "Perform IGMP Join", CS_NONE,
                "IDC_RX_JOIN_CHECK" },
            { ControlKind::CheckBox, "IDC_RX_JOIN_CHECK", { 93, 26, 16, 8 }, {}, CS_TABSTOP },
            { ControlKind::Label, "", { 7, 38, 71, 8 }, "Loss Threshold", CS_NONE,
                "IDC_RX_LOSS_THRESHOLD" },
            { ControlKind::Edit, "IDC_RX_LOSS_THRESHOLD", { 93, 38, 40, 14 }, {}, EDIT },
            { ControlKind::Label, "", { 187, 38, 85, 8 }, "Maximum  Latency (secs)", CS_NONE,
                "IDC_RX_MAX_LATENCY" },
            { ControlKind::Edit, "IDC_RX_MAX_LATENCY", { 275, 38, 40, 14 }, {}, EDIT },
            { ControlKind::Label, "", { 7, 53, 79, 8 }, "SNMP Trap Destination", CS_NONE,
                "IDC_RX_TRAP_DEST" },
            { ControlKind::Edit, "IDC_RX_TRAP_DEST", { 93, 53, 79, 14 }, {}, EDIT },
            { ControlKind::Label, "", { 187, 53, 35, 8 }, "Community", CS_NONE,
                "IDC_RX_COMMUNITY" },
            { ControlKind::Edit, "IDC_RX_COMMUNITY", { 236, 53, 79, 14 }, {}, EDIT },
            { ControlKind::Icon, "IDC_RX_ACTIVITY", { 294, 70, 21, 20 }, {}, CS_HIDDEN },
            { ControlKind::PushButton, "IDC_RX_START", { 58, 76, 50, 14 }, "Start", CS_TABSTOP },
            { ControlKind::PushButton, "IDC_RX_JOIN", { 110, 76, 50, 14 }, "IGMP Join",
                CS_TABSTOP | CS_DISABLED },
            { ControlKind::PushButton, "IDC_RX_LEAVE", { 162, 76, 50, 14 }, "IGMP Leave",
                CS_TABSTOP | CS_DISABLED },
            { ControlKind::PushButton, "IDC_RX_RESET", { 214, 76, 50, 14 }, "Reset", CS_TABSTOP },
            { ControlKind::ListView, "IDC_RX_SOURCES", { 7, 98, 308, 141 }, {}, CS_TABSTOP },
        } };
    return addRx;
}
