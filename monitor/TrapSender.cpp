#include "monitor/TrapSender.h"

#include "core/Source.h"

#include <QElapsedTimer>
#include <QHostInfo>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

namespace {

// Under the experimental arc, 1.3.6.1.3: we hold no enterprise number. The MIB module in
// packaging/ describes these.
constexpr oid Base[] = { 1, 3, 6, 1, 3, 7381 };
constexpr oid SysUpTime[] = { 1, 3, 6, 1, 2, 1, 1, 3, 0 };
constexpr oid SnmpTrapOid[] = { 1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0 };
enum Object : oid {
    Group = 1,
    Port,
    SourceAddress,
    SourcePort,
    LastSequence,
    Probes,
    Missing,
    Duplicates
};
// Traps sent before a name's address is known wait for it, up to this many.
constexpr std::size_t MaxWaiting = 64;

// The library's transports, without reading its configuration files or loading MIBs: the
// program only ever sends.
void initSnmp()
{
    static const bool done = [] {
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_tdomain_init();
        return true;
    }();
    Q_UNUSED(done);
}

// sysUpTime is the program's: hundredths of a second since its first trap sender.
long upTime()
{
    static QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return long(started.elapsed() / 10);
}

std::vector<oid> objectId(std::initializer_list<oid> tail)
{
    std::vector<oid> id(std::begin(Base), std::end(Base));
    id.insert(id.end(), tail);
    return id;
}

void addVariable(
    netsnmp_pdu* pdu, const std::vector<oid>& id, u_char type, const void* value, std::size_t size)
{
    snmp_pdu_add_variable(pdu, id.data(), id.size(), type, value, size);
}

void addText(netsnmp_pdu* pdu, Object object, const QByteArray& text)
{
    addVariable(pdu, objectId({ 1, object, 0 }), ASN_OCTET_STR, text.constData(), text.size());
}

void addNumber(netsnmp_pdu* pdu, Object object, u_char type, quint32 number)
{
    const u_long value = number;
    addVariable(pdu, objectId({ 1, object, 0 }), type, &value, sizeof value);
}

} // namespace

TrapSender::TrapSender(QObject* parent)
    : QObject(parent)
{
    initSnmp();
    upTime();
}

TrapSender::~TrapSender()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    closeSession();
}

void TrapSender::closeSession()
{
    if (m_session)
        snmp_sess_close(m_session);
    m_session = nullptr;
}

bool TrapSender::setDestination(const QString& text, const QString& community)
{
    const auto destination = parseTrapDestination(text);
    if (!destination)
        return false;
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(std::exchange(m_lookupId, -1));
    closeSession();
    m_host = destination->host;
    m_port = destination->port;
    m_community = community.toUtf8();
    m_unusable = false;
    m_told = false;
    m_waiting.clear();
    if (const auto address = parseAddress(m_host))
        resolved(*address);
    else
        m_lookupId = QHostInfo::lookupHost(m_host, this, [this](const QHostInfo& info) {
            m_lookupId = -1;
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
                giveUp(tr("SNMP trap destination %1 does not resolve: %2")
                           .arg(m_host, info.errorString()));
            else
                resolved(info.addresses().constFirst());
        });
    return true;
}

QString TrapSender::destination() const
{
    return (m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']')
                                              : m_host)
        + QLatin1Char(':') + QString::number(m_port);
}

void TrapSender::resolved(const QHostAddress& address)
{
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    const QByteArray peer = (v6 ? "udp6:[" : "udp:") + address.toString().toLatin1()
        + (v6 ? "]:" : ":") + QByteArray::number(m_port);
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_2c;
    settings.peername = const_cast<char*>(peer.constData());
    settings.community = reinterpret_cast<u_char*>(m_community.data());
    settings.community_len = std::size_t(m_community.size());
    m_session = snmp_sess_open(&settings);
    if (!m_session) {
        giveUp(tr("cannot open an SNMP session to %1: %2")
                   .arg(destination(), QString::fromLocal8Bit(snmp_api_errstring(snmp_errno))));
        return;
    }
    for (const Trap& trap : std::exchange(m_waiting, {}))
        deliver(trap);
}

void TrapSender::send(Kind kind, const Endpoint& receiver, const Source* source)
{
    if (m_unusable || m_host.isEmpty())
        return;
    Trap trap;
    trap.kind = kind;
    trap.group = receiver.group.toString().toUtf8();
    trap.port = receiver.port;
    if (source) {
        trap.source = QByteArray::fromStdString(source->address);
        trap.sourcePort = source->port;
        trap.lastSequence = source->lastSequence;
        // Counter32s, which wrap as SNMP's counters do.
        trap.probes = quint32(source->totalReceived);
        trap.missing = quint32(source->totalMissed);
        trap.duplicates = quint32(source->duplicates);
    }
    if (m_session)
        deliver(trap);
    else if (m_waiting.size() < MaxWaiting)
        m_waiting.push_back(trap);
}

void TrapSender::deliver(const Trap& trap)
{
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_TRAP2);
    const long ticks = upTime();
    snmp_pdu_add_variable(
        pdu, SysUpTime, OID_LENGTH(SysUpTime), ASN_TIMETICKS, &ticks, sizeof ticks);
    const std::vector<oid> notification = objectId({ 0, oid(trap.kind) });
    snmp_pdu_add_variable(pdu, SnmpTrapOid, OID_LENGTH(SnmpTrapOid), ASN_OBJECT_ID,
        notification.data(), notification.size() * sizeof(oid));
    addText(pdu, Group, trap.group);
    addNumber(pdu, Port, ASN_UNSIGNED, trap.port);
    if (trap.kind != Kind::Test) {
        addText(pdu, SourceAddress, trap.source);
        addNumber(pdu, SourcePort, ASN_UNSIGNED, trap.sourcePort);
        addNumber(pdu, LastSequence, ASN_UNSIGNED, trap.lastSequence);
        addNumber(pdu, Probes, ASN_COUNTER, trap.probes);
        addNumber(pdu, Missing, ASN_GAUGE, trap.missing);
        addNumber(pdu, Duplicates, ASN_COUNTER, trap.duplicates);
    }
    if (!snmp_sess_send(m_session, pdu)) {
        snmp_free_pdu(pdu);
        int error = 0;
        int system = 0;
        char* text = nullptr;
        snmp_sess_error(m_session, &system, &error, &text);
        fail(tr("cannot send an SNMP trap to %1: %2")
                 .arg(destination(), QString::fromLocal8Bit(text)));
        free(text);
    }
}

void TrapSender::giveUp(const QString& why)
{
    m_unusable = true;
    m_waiting.clear();
    fail(why);
}

void TrapSender::fail(const QString& why)
{
    if (!std::exchange(m_told, true))
        emit failed(why);
}
