#include "shell/CHeadless.h"

#include "platform/SystemError.h"
#include "receiver/CRxSourceModel.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The columns of a printed row: a heading and a width each, the receiver's first.
struct PrintedColumn {
    const char* heading;
    int width;
};

constexpr PrintedColumn RECEIVER_COLUMN { "RECEIVER", -21 };
constexpr PrintedColumn SOURCE_COLUMNS[CRxSourceModel::ColumnCount] = {
    { "SOURCE", -15 },
    { "PORT", 5 },
    { "LAST-RX", 8 },
    { "SEQ", 10 },
    { "FREQ", 5 },
    { "CONS-RX", 7 },
    { "CONS-MISS", 9 },
    { "TOTAL-RX", 8 },
    { "TOTAL-MISS", 10 },
    { "DUPS", 10 },
};

// The JSON keys of a row, in the order of the list's columns.
constexpr const char* ROW_KEYS[CRxSourceModel::ColumnCount] = { "source", "port", "last_rx", "seq",
    "freq", "cons_rx", "cons_miss", "total_rx", "total_miss", "dups" };

// A signal handler may only write to a descriptor; the event loop reads the other end.
int s_stopSignal[2] = { -1, -1 };

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(s_stopSignal[0], &byte, 1);
}

QString isoTime(std::time_t time)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(time);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

CHeadless::CHeadless(const CCommandLine& options, QTextStream& out, QTextStream& err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
{
    for (const CEndpoint& where : options.m_receive) {
        m_receivers.push_back(std::make_unique<Receiver>());
        m_receivers.back()->where = where;
    }
    for (const CEndpoint& where : options.m_transmit) {
        m_transmitters.push_back(std::make_unique<Transmitter>());
        m_transmitters.back()->where = where;
    }
    m_second.setTimerType(Qt::PreciseTimer);
    connect(&m_second, &QTimer::timeout, this, &CHeadless::OnSecond);
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, &CHeadless::Stop);
}

CHeadless::~CHeadless()
{
    if (m_pStopSignal) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    }
}

bool CHeadless::Start()
{
    for (auto& receiver : m_receivers) {
        if (!StartReceiver(*receiver))
            return false;
    }
    for (auto& transmitter : m_transmitters) {
        if (!StartTransmitter(*transmitter))
            return false;
    }
    m_bRunning = true;
    CatchStopSignals();
    m_second.start(1000);
    if (m_options.m_nDuration)
        m_duration.start(int(m_options.m_nDuration * 1000));
    return true;
}

bool CHeadless::StartReceiver(Receiver& receiver)
{
    connect(&receiver.socket, &CRxSocket::DatagramReceived, this,
        [this, &receiver](const std::uint8_t* bytes, std::size_t length, const std::string& address,
            std::uint16_t port) { OnDatagram(receiver, bytes, length, address, port); });
    connect(&receiver.socket, &CRxSocket::JoinRefused, this, [this, &receiver](int error) {
        m_err << "lumivox-tool: cannot join " << QString::fromStdString(receiver.where.group)
              << " for " << receiver.where.Text() << ": " << SystemErrorText(error) << Qt::endl;
    });
    if (!receiver.socket.Bind(receiver.where.group, receiver.where.port, m_options.m_bJoin)) {
        m_err << "lumivox-tool: cannot bind UDP port " << receiver.where.port << " for "
              << receiver.where.Text() << ": " << SystemErrorText(receiver.socket.LastError())
              << Qt::endl;
        return false;
    }
    // A refused join has been told already; a later leave would be refused as well.
    receiver.joined = m_options.m_bJoin;
    return true;
}

bool CHeadless::StartTransmitter(Transmitter& transmitter)
{
    CTxProbeSender& sender = transmitter.sender;
    sender.m_strGroup = transmitter.where.group;
    sender.m_nPort = transmitter.where.port;
    sender.m_nFrequency = m_options.m_nPeriod;
    sender.m_nPacketSize = m_options.m_nPacketSize;
    sender.m_bRandomise = m_options.m_bRandomise;
    sender.m_pSocket = std::make_unique<CTxSocket>();
    if (!sender.m_pSocket->Open(m_options.m_nTTL)
        || !sender.m_pSocket->GetSockName(transmitter.sourcePort)) {
        m_err << "lumivox-tool: cannot open a socket for " << transmitter.where.Text() << ": "
              << SystemErrorText(sender.m_pSocket->LastError()) << Qt::endl;
        return false;
    }
    sender.m_nCountdown = sender.m_nFrequency;
    sender.m_nLastSequence = 0;
    return true;
}

void CHeadless::CatchStopSignals()
{
    if (s_stopSignal[0] < 0
        && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_stopSignal) != 0)
        return;
    m_pStopSignal = new QSocketNotifier(s_stopSignal[1], QSocketNotifier::Read, this);
    connect(m_pStopSignal, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(s_stopSignal[1], &byte, 1);
        Stop();
    });
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int CHeadless::Exec()
{
    if (!Start()) {
        Stop();
        return 1;
    }
    QEventLoop loop;
    connect(this, &CHeadless::Stopped, &loop, &QEventLoop::quit);
    loop.exec();
    return 0;
}

void CHeadless::Stop()
{
    const bool wasRunning = m_bRunning;
    m_bRunning = false;
    m_second.stop();
    m_duration.stop();
    for (auto& receiver : m_receivers) {
        // A probe that came in the same instant as the stop belongs in the final rows.
        if (wasRunning && receiver->socket.IsOpen())
            receiver->socket.ReadWaiting();
        if (receiver->joined && receiver->socket.IsOpen())
            receiver->socket.LeaveGroup();
        receiver->socket.Close();
    }
    for (auto& transmitter : m_transmitters)
        transmitter->sender.m_pSocket.reset();
    if (wasRunning) {
        // The final rows: every source of every receiver, whether it changed or not.
        m_bHeadingPrinted = false;
        for (const auto& receiver : m_receivers) {
            for (std::size_t i = 0; i < receiver->sources.GetCount(); ++i)
                PrintRow(*receiver, receiver->sources.GetAt(i));
        }
    }
    emit Stopped();
}

void CHeadless::OnSecond()
{
    for (auto& transmitter : m_transmitters) {
        if (transmitter->sender.CountDown())
            PrintProbe(*transmitter, transmitter->sender.SendProbe());
    }
    // A source's row at most once a second, however often it sends.
    for (auto& receiver : m_receivers) {
        for (std::size_t index : receiver->changed) {
            receiver->isChanged[index] = false;
            PrintRow(*receiver, receiver->sources.GetAt(index));
        }
        receiver->changed.clear();
    }
}

void CHeadless::OnDatagram(Receiver& receiver, const std::uint8_t* bytes, std::size_t length,
    const std::string& address, std::uint16_t port)
{
    std::size_t index = 0;
    if (!receiver.sources.CountProbe(bytes, length, address, port, std::time(nullptr), &index))
        return;
    if (index >= receiver.isChanged.size())
        receiver.isChanged.resize(index + 1, false);
    if (!receiver.isChanged[index]) {
        receiver.isChanged[index] = true;
        receiver.changed.push_back(index);
    }
}

void CHeadless::PrintHeading()
{
    QString line
        = QString::fromLatin1(RECEIVER_COLUMN.heading).leftJustified(-RECEIVER_COLUMN.width);
    for (const PrintedColumn& column : SOURCE_COLUMNS)
        line += QLatin1Char(' ')
            + QStringLiteral("%1").arg(QLatin1String(column.heading), column.width);
    m_out << line.trimmed() << Qt::endl;
}

void CHeadless::PrintRow(const Receiver& receiver, const CRxSource& source)
{
    if (m_options.m_bJson) {
        QJsonObject row { { QStringLiteral("receiver"), receiver.where.Text() },
            { QLatin1String(ROW_KEYS[CRxSourceModel::SourceIp]),
                QString::fromStdString(source.m_strAddress) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::SrcUdp]), qint64(source.m_nPort) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::LastRxTime]), isoTime(source.m_timeLastRx) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::LastSeq]), qint64(source.m_nLastSeq) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::Freq]), qint64(source.m_nFrequency) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::ConsRx]), qint64(source.m_nConsRx) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::ConsMiss]), qint64(source.m_nConsMiss) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::TotalRx]), qint64(source.m_nTotalRx) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::TotalMiss]), qint64(source.m_nTotalMiss) },
            { QLatin1String(ROW_KEYS[CRxSourceModel::Dups]), qint64(source.m_nDups) } };
        m_out << QJsonDocument(row).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    if (!m_bHeadingPrinted) {
        PrintHeading();
        m_bHeadingPrinted = true;
    }
    QString line = receiver.where.Text().leftJustified(-RECEIVER_COLUMN.width);
    for (int column = 0; column < CRxSourceModel::ColumnCount; ++column)
        line += QLatin1Char(' ')
            + QStringLiteral("%1").arg(
                CRxSourceModel::CellText(source, column), SOURCE_COLUMNS[column].width);
    m_out << line.trimmed() << Qt::endl;
}

void CHeadless::PrintProbe(const Transmitter& transmitter, long sent)
{
    const CTxProbeSender& sender = transmitter.sender;
    const QString error = sent < 0 ? SystemErrorText(sender.m_pSocket->LastError()) : QString();
    if (m_options.m_bJson) {
        QJsonObject probe { { QStringLiteral("transmitter"), transmitter.where.Text() },
            { QStringLiteral("source_port"), transmitter.sourcePort },
            { QStringLiteral("seq"), qint64(sender.m_nLastSequence) },
            { QStringLiteral("size"), qint64(sender.m_nLastSize) },
            { QStringLiteral("ttl"), qint64(m_options.m_nTTL) } };
        if (sent < 0)
            probe.insert(QStringLiteral("error"), error);
        m_out << QJsonDocument(probe).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    m_out << (sent < 0 ? "failed " : "sent ") << transmitter.where.Text() << " from port "
          << transmitter.sourcePort << " seq " << sender.m_nLastSequence << " size "
          << sender.m_nLastSize << " ttl " << m_options.m_nTTL;
    if (sent < 0)
        m_out << ": " << error;
    m_out << Qt::endl;
}
