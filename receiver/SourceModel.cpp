#include "receiver/SourceModel.h"

#include "core/SourceColumns.h"
#include "core/SourceTable.h"

SourceModel::SourceModel(const SourceTable& sources, QObject* parent)
    : QAbstractTableModel(parent)
    , m_sources(sources)
    , m_rows(int(sources.size()))
{
    m_announcer.setSingleShot(true);
    connect(&m_announcer, &QTimer::timeout, this, &SourceModel::announceChanges);
}

int SourceModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int SourceModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(SourceColumns.size());
}

QVariant SourceModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return QString::fromStdString(cellText(
        m_sources.at(std::size_t(index.row())), SourceColumns[std::size_t(index.column())]));
}

QVariant SourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= columnCount())
        return {};
    return tr(SourceColumns[std::size_t(section)].heading);
}

void SourceModel::sourceChanged(std::size_t index)
{
    const int row = int(index);
    if (row < m_rows) {
        m_firstChanged = m_firstChanged < 0 ? row : std::min(m_firstChanged, row);
        m_lastChanged = std::max(m_lastChanged, row);
    }
    if (!m_announcer.isActive())
        m_announcer.start(ChangeInterval);
}

void SourceModel::announceChanges()
{
    const int count = int(m_sources.size());
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_rows = count;
        endInsertRows();
    }
    if (m_firstChanged >= 0) {
        // Only these cells change once a row exists; the period and the counters between
        // them never do, and repainting them for nothing would double the cost.
        const auto at = [this](int row, SourceColumn column) { return index(row, int(column)); };
        emit dataChanged(at(m_firstChanged, SourceColumn::LastRxTime),
            at(m_lastChanged, SourceColumn::LastSeq), { Qt::DisplayRole });
        emit dataChanged(at(m_firstChanged, SourceColumn::Dups),
            at(m_lastChanged, SourceColumn::Dups), { Qt::DisplayRole });
    }
    m_firstChanged = m_lastChanged = -1;
}
