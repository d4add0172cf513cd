#include "headless/RowPrinter.h"

#include "core/SourceColumns.h"
#include "net/Event.h"
#include "net/ProbeSender.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cmath>

namespace {

// Local time with its offset from UTC, as ISO 8601 writes it.
QString isoTime(const QDateTime& local)
{
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

// Addresses read from the left, numbers and times from the right.
QString padded(const QString& text, const SourceColumnInfo& column)
{
    const bool words
        = column.kind == SourceColumnInfo::Address || column.kind == SourceColumnInfo::State;
    return words ? text.leftJustified(column.printedWidth)
                 : text.rightJustified(column.printedWidth);
}

} // namespace

RowPrinter::RowPrinter(QTextStream& out, bool json, int receiverWidth)
    : m_out(out)
    , m_json(json)
    , m_receiverWidth(receiverWidth)
{
}

void RowPrinter::printHeading()
{
    QString line = QString::fromLatin1(ReceiverPrintedHeading).leftJustified(m_receiverWidth);
    for (const SourceColumnInfo& column : SourceColumns)
        line += QLatin1Char(' ') + padded(QLatin1String(column.printedHeading), column);
    m_out << line.trimmed() << Qt::endl;
}

void RowPrinter::printRow(
    const QString& receiver, const Source& source, qint64 hostDrops, qint64 sourcesRefused)
{
    if (m_json) {
        QJsonObject row { { QLatin1String(ReceiverJsonKey), receiver } };
        for (const SourceColumnInfo& column : SourceColumns) {
            const QString key = QLatin1String(column.jsonKey);
            if (column.kind == SourceColumnInfo::Time)
                row.insert(key, isoTime(QDateTime::fromSecsSinceEpoch(source.lastReceived)));
            else if (column.kind == SourceColumnInfo::Number)
                row.insert(key, qint64(numberIn(source, column.column)));
            else if (column.kind == SourceColumnInfo::Percent)
                row.insert(key, shownLossPercent(source));
            else if (column.kind == SourceColumnInfo::Measure) {
                const QString shown = QString::fromStdString(cellText(source, column));
                row.insert(key, shown.isEmpty() ? QJsonValue() : QJsonValue(shown.toDouble()));
            } else if (column.kind == SourceColumnInfo::State)
                row.insert(key, QLatin1String(stateKey(source)));
            else
                row.insert(key, QString::fromStdString(cellText(source, column)));
        }
        if (hostDrops >= 0)
            row.insert(QStringLiteral("host_drops"), hostDrops);
        if (sourcesRefused >= 0)
            row.insert(QStringLiteral("sources_refused"), sourcesRefused);
        m_out << QJsonDocument(row).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    if (!m_headingPrinted) {
        printHeading();
        m_headingPrinted = true;
    }
    QString line = receiver.leftJustified(m_receiverWidth);
    for (const SourceColumnInfo& column : SourceColumns)
        line += QLatin1Char(' ') + padded(QString::fromStdString(cellText(source, column)), column);
    m_out << line.trimmed() << Qt::endl;
}

void RowPrinter::printProbe(const QString& transmitter, quint16 sourcePort, quint32 sequence,
    quint32 size, quint32 ttl, const QString& error)
{
    if (m_json) {
        QJsonObject probe { { QStringLiteral("transmitter"), transmitter },
            { QStringLiteral("source_port"), sourcePort },
            { QStringLiteral("seq"), qint64(sequence) }, { QStringLiteral("size"), qint64(size) },
            { QStringLiteral("ttl"), qint64(ttl) } };
        if (!error.isEmpty())
            probe.insert(QStringLiteral("error"), error);
        m_out << QJsonDocument(probe).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    m_out << (error.isEmpty() ? "sent " : "failed ") << transmitter << " from port " << sourcePort
          << " seq " << sequence << " size " << size << " ttl " << ttl;
    if (!error.isEmpty())
        m_out << ": " << error;
    m_out << Qt::endl;
}

void RowPrinter::printStream(const QString& transmitter, quint16 sourcePort,
    const StreamProgress& progress, const QString& error)
{
    const double rate = std::round(progress.rate * 10) / 10;
    const double behindMs = std::round(progress.behindMs * 10) / 10;
    if (m_json) {
        QJsonObject line { { QStringLiteral("transmitter"), transmitter },
            { QStringLiteral("source_port"), sourcePort },
            { QStringLiteral("seq"), qint64(progress.lastSequence) },
            { QStringLiteral("sent"), qint64(progress.sent) }, { QStringLiteral("rate"), rate },
            { QStringLiteral("late"), qint64(progress.late) },
            { QStringLiteral("behind_ms"), behindMs },
            { QStringLiteral("send_failures"), qint64(progress.failures) } };
        if (!error.isEmpty())
            line.insert(QStringLiteral("error"), error);
        m_out << QJsonDocument(line).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    m_out << "stream " << transmitter << " from port " << sourcePort << " seq "
          << progress.lastSequence << " sent " << progress.sent << " rate "
          << QString::number(rate, 'f', 1) << "/s late " << progress.late;
    if (behindMs > 0)
        m_out << " behind " << QString::number(behindMs, 'f', 1) << " ms";
    if (!error.isEmpty())
        m_out << " failed " << progress.failures << ": " << error;
    m_out << Qt::endl;
}

void RowPrinter::printEvent(const Event& event, bool fromTransmitter)
{
    const QString where
        = fromTransmitter ? QStringLiteral("transmitter") : QStringLiteral("receiver");
    if (m_json) {
        QJsonObject line { { QStringLiteral("event"), event.name() },
            { QStringLiteral("time"), isoTime(event.time) }, { where, event.panel },
            { QStringLiteral("source"), event.source }, { QStringLiteral("port"), event.port },
            { QStringLiteral("detail"), event.detail } };
        if (event.kind == Event::Querier) {
            line.insert(QStringLiteral("version"), event.querierVersion);
            line.insert(QStringLiteral("interval"), qint64(event.queryInterval));
        }
        if (event.kind == Event::TtlChanged) {
            line.insert(QStringLiteral("ttl_from"), event.ttlFrom);
            line.insert(QStringLiteral("ttl_to"), event.ttlTo);
        }
        if (!event.member.isEmpty())
            line.insert(QStringLiteral("member"), event.member);
        if (!event.hears.isEmpty())
            line.insert(QStringLiteral("hears"), event.hears);
        if (event.kind == Event::QuerierGone)
            line.insert(QStringLiteral("sources"), QJsonArray::fromStringList(event.sources));
        if (event.kind == Event::Recovered || event.kind == Event::PairRecovered) {
            line.insert(QStringLiteral("missing"), qint64(event.missing));
            line.insert(QStringLiteral("seconds"), event.seconds);
        }
        m_out << QJsonDocument(line).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    const QString source = event.source.isEmpty() ? QStringLiteral("-") : event.sourceText();
    m_out << event.time.toString(QStringLiteral("HH:mm:ss")) << ' ' << event.name() << ' '
          << event.panel << ' ' << source << ' ' << event.detail << Qt::endl;
    m_headingPrinted = false; // rows after an event get their heading again
}

void RowPrinter::printDrops(const QString& receiver, quint32 hostDrops, quint64 sourcesRefused)
{
    if (m_json)
        return;
    m_out << receiver << ' ' << QObject::tr("dropped on this host: %1").arg(hostDrops) << Qt::endl;
    m_out << receiver << ' ' << QObject::tr("sources refused: %1").arg(sourcesRefused) << Qt::endl;
}
