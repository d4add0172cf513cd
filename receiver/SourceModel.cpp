#include "receiver/SourceModel.h"

#include "core/SourceColumns.h"
#include "core/SourceTable.h"

#include <QGuiApplication>
#include <QPalette>

SourceModel::SourceModel(const SourceTable& sources, QObject* parent)
    : QAbstractTableModel(parent)
    , m_sources(sources)
    , m_rows(int(sources.size()))
{
}

int SourceModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int SourceModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RecentColumn + 1;
}

QVariant SourceModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Source& source = m_sources.at(std::size_t(index.row()));
    // A lost source stands out at a glance, in the palette's colours for what must be seen.
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == RecentColumn)
            return {};
        return QString::fromStdString(cellText(source, SourceColumns[std::size_t(index.column())]));
    case RecentRole:
        return index.column() == RecentColumn ? QVariant::fromValue(source.recent) : QVariant();
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return index.column() == RecentColumn ? recentText(source.recent) : QVariant();
    case Qt::BackgroundRole:
        return source.lost ? QGuiApplication::palette().toolTipBase() : QVariant();
    case Qt::ForegroundRole:
        return source.lost ? QGuiApplication::palette().toolTipText() : QVariant();
    default:
        return {};
    }
}

QVariant SourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= columnCount())
        return {};
    return section == RecentColumn ? tr("Recent") : tr(SourceColumns[std::size_t(section)].heading);
}

QString SourceModel::recentText(const RecentMarks& recent)
{
    const RecentMarks::Counts counts = recent.counts();
    QString text = tr("last %1: %2 received, %3 missing, %4 late")
                       .arg(counts.expected)
                       .arg(counts.received)
                       .arg(counts.missing)
                       .arg(counts.late);
    if (counts.duplicates > 0)
        text += counts.duplicates == 1 ? tr(", 1 duplicate")
                                       : tr(", %1 duplicates").arg(counts.duplicates);
    return text;
}

void SourceModel::clear()
{
    beginResetModel();
    m_rows = 0;
    m_firstChanged = m_lastChanged = -1;
    endResetModel();
}

void SourceModel::sourceChanged(std::size_t index, SourceChange change)
{
    const int row = int(index);
    if (row < m_rows) {
        m_firstChanged = m_firstChanged < 0 ? row : std::min(m_firstChanged, row);
        m_lastChanged = std::max(m_lastChanged, row);
        m_change = std::max(m_change, change);
    }
    // Right after the reads that brought it, so that the rows repaint with the panel's lamp;
    // then the list rests for ChangeInterval, gathering what comes meanwhile.
    m_announcer.request();
}

bool SourceModel::announceChanges()
{
    const int count = int(m_sources.size());
    if (m_firstChanged < 0 && count == m_rows)
        return false;
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_rows = count;
        endInsertRows();
    }
    // Only the cells that may have changed are repainted: under traffic most arrivals change
    // the time, the number, two counters and the strip, and repainting the rest for nothing
    // costs. A change of state repaints whole rows, for a lost row's colours.
    const auto changed = [this](auto first, auto last) {
        emit dataChanged(index(m_firstChanged, int(first)), index(m_lastChanged, int(last)));
    };
    if (m_firstChanged >= 0 && m_change == SourceChange::Everything) {
        changed(0, RecentColumn);
    } else if (m_firstChanged >= 0) {
        changed(SourceColumn::LastReceived, SourceColumn::LastSequence);
        changed(RecentColumn, RecentColumn);
        if (m_change == SourceChange::Counted) {
            changed(SourceColumn::ConsecutiveReceived, SourceColumn::ConsecutiveReceived);
            changed(SourceColumn::TotalReceived, SourceColumn::LossPercent);
        } else {
            changed(SourceColumn::Duplicates, SourceColumn::Duplicates);
        }
    }
    m_firstChanged = m_lastChanged = -1;
    m_change = SourceChange::Repeated;
    return true;
}
