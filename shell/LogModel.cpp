#include "shell/LogModel.h"

#include "net/EventColumns.h"

LogModel::LogModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int LogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_events.size());
}

int LogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : EventColumns::Count;
}

QVariant LogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return EventColumns::cell(m_events[std::size_t(index.row())], index.column());
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return EventColumns::heading(section);
}

void LogModel::append(const Event& event)
{
    if (m_events.size() == Capacity) {
        beginRemoveRows({}, 0, 0);
        m_events.pop_front();
        endRemoveRows();
    }
    beginInsertRows({}, int(m_events.size()), int(m_events.size()));
    m_events.push_back(event);
    endInsertRows();
}

bool LogModel::writeCsv(QIODevice& device) const
{
    return EventColumns::writeCsv(m_events, device);
}
