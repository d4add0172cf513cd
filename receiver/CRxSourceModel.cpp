#include "receiver/CRxSourceModel.h"

#include "receiver/CRxSourceList.h"

#include <array>

namespace {

struct ColumnInfo {
    const char* heading;
    unsigned weight;
};

constexpr std::array<ColumnInfo, CRxSourceModel::ColumnCount> COLUMNS { {
    { "Source IP", 100 },
    { "Src UDP", 50 },
    { "Last RX Time", 100 },
    { "Last Seq#", 50 },
    { "Freq", 50 },
    { "Cons. RX", 50 },
    { "Cons. Miss", 50 },
    { "Total RX", 50 },
    { "Total Miss", 50 },
    { "Dups", 50 },
} };

constexpr unsigned weightTotal()
{
    unsigned total = 0;
    for (const ColumnInfo& column : COLUMNS)
        total += column.weight;
    return total;
}

} // namespace

CRxSourceModel::CRxSourceModel(const CRxSourceList& sources, QObject* parent)
    : QAbstractTableModel(parent)
    , m_sources(sources)
    , m_nRows(int(sources.GetCount()))
{
    m_announcer.setSingleShot(true);
    connect(&m_announcer, &QTimer::timeout, this, &CRxSourceModel::AnnounceChanges);
}

unsigned CRxSourceModel::Weight(int column) { return COLUMNS[std::size_t(column)].weight; }

unsigned CRxSourceModel::WeightTotal()
{
    static_assert(weightTotal() == 600);
    return weightTotal();
}

int CRxSourceModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int CRxSourceModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CRxSourceModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return CellText(m_sources.GetAt(std::size_t(index.row())), index.column());
}

QVariant CRxSourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= ColumnCount)
        return {};
    return Heading(section);
}

QString CRxSourceModel::Heading(int column)
{
    return QLatin1String(COLUMNS[std::size_t(column)].heading);
}

QString CRxSourceModel::TimeText(std::time_t time)
{
    std::tm local {};
    localtime_r(&time, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

QString CRxSourceModel::CellText(const CRxSource& source, int column)
{
    // Sequence numbers and periods are unsigned on the wire.
    switch (Column(column)) {
    case SourceIp:
        return QString::fromStdString(source.m_strAddress);
    case SrcUdp:
        return QString::number(source.m_nPort);
    case LastRxTime:
        return TimeText(source.m_timeLastRx);
    case LastSeq:
        return QString::number(source.m_nLastSeq);
    case Freq:
        return QString::number(source.m_nFrequency);
    case ConsRx:
        return QString::number(source.m_nConsRx);
    case ConsMiss:
        return QString::number(source.m_nConsMiss);
    case TotalRx:
        return QString::number(source.m_nTotalRx);
    case TotalMiss:
        return QString::number(source.m_nTotalMiss);
    case Dups:
        return QString::number(source.m_nDups);
    case ColumnCount:
        break;
    }
    return {};
}

void CRxSourceModel::SourceChanged(std::size_t index)
{
    const int row = int(index);
    if (row < m_nRows) {
        m_nFirstChanged = m_nFirstChanged < 0 ? row : std::min(m_nFirstChanged, row);
        m_nLastChanged = std::max(m_nLastChanged, row);
    }
    if (!m_announcer.isActive())
        m_announcer.start(CHANGE_INTERVAL_MS);
}

void CRxSourceModel::AnnounceChanges()
{
    const int count = int(m_sources.GetCount());
    if (count > m_nRows) {
        beginInsertRows({}, m_nRows, count - 1);
        m_nRows = count;
        endInsertRows();
    }
    if (m_nFirstChanged >= 0) {
        // Only these cells change once a row exists; the period and the counters between
        // them never do, and repainting them for nothing would double the cost.
        emit dataChanged(index(m_nFirstChanged, LastRxTime), index(m_nLastChanged, LastSeq),
            { Qt::DisplayRole });
        emit dataChanged(
            index(m_nFirstChanged, Dups), index(m_nLastChanged, Dups), { Qt::DisplayRole });
    }
    m_nFirstChanged = m_nLastChanged = -1;
}
