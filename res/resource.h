#pragma once

// Resource ids.
constexpr int IDI_ACTIVITY = 128;
constexpr int IDD_ADDTX = 129;
constexpr int IDR_MAINFRAME = 130;
constexpr int IDD_ADDRX = 131;
constexpr int IDS_SOCKETS_INIT_FAILED = 131;
constexpr int IDB_LOGO = 134;

// Where the pictures live once compiled in.
#define RES_ACTIVITY_ICON ":/res/activity.png"
#define RES_LOGO_BITMAP ":/res/logo.bmp"
#define RES_APP_ICON ":/res/lumivox-tool.svg"

// Control ids of the transmitter panel.
constexpr int IDC_TX_GROUP = 1000;
constexpr int IDC_TX_PORT = 1001;
constexpr int IDC_TX_FREQUENCY = 1002;
constexpr int IDC_TX_START = 1003;
constexpr int IDC_TX_PAUSE = 1004;
constexpr int IDC_TX_PACKET_SIZE = 1005;
constexpr int IDC_TX_TTL = 1006;
constexpr int IDC_TX_SRC_PORT = 1014;
constexpr int IDC_TX_COUNTDOWN = 1015;
constexpr int IDC_TX_RANDOMISE = 1016;
constexpr int IDC_TX_LAST_SEQ = 1017;
constexpr int IDC_TX_ACTIVITY = 1018;
constexpr int IDC_TX_INTERFACE = 1024;

// Control ids of the receiver panel.
constexpr int IDC_RX_LOSS_THRESHOLD = 1003;
constexpr int IDC_RX_COMMUNITY = 1004;
constexpr int IDC_RX_TRAP_DEST = 1005;
constexpr int IDC_RX_SOURCES = 1006;
constexpr int IDC_RX_START = 1007;
constexpr int IDC_RX_MAX_LATENCY = 1008;
constexpr int IDC_RX_PORT = 1010;
constexpr int IDC_RX_GROUP = 1011;
constexpr int IDC_RX_ACTIVITY = 1019;
constexpr int IDC_RX_JOIN_CHECK = 1021;
constexpr int IDC_RX_JOIN = 1022;
constexpr int IDC_RX_LEAVE = 1023;
constexpr int IDC_RX_RESET = 1025;

// Commands of the menu bar.
constexpr int ID_ADD_TRANSMITTER = 32771;
constexpr int ID_ADD_RECEIVER = 32772;
constexpr int ID_FILE_EXIT = 32774;
constexpr int ID_HELP_ABOUT = 32775;
constexpr int ID_TOOLS_SNMP_TRAP = 32776;
constexpr int ID_WINDOW_NEXT = 32780;
constexpr int ID_WINDOW_CLOSE = 32782;
constexpr int ID_VIEW_LOG = 32784;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_HELP = 57670;
