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
    m_waiting.push_back(event);
    if (m_waiting.size() > Capacity)
        m_waiting.pop_front();
    m_throttle.request();
}

bool LogModel::showWaiting()
{
    if (m_waiting.empty())
        return false;
    // The oldest rows go in one removal, as many as make room.
    const std::size_t total = m_events.size() + m_waiting.size();
    const std::size_t over = total > Capacity ? total - Capacity : 0;
    if (over > 0) {
        beginRemoveRows({}, 0, int(over) - 1);
        m_events.erase(m_events.begin(), m_events.begin() + std::ptrdiff_t(over));
        endRemoveRows();
    }
    beginInsertRows({}, int(m_events.size()), int(m_events.size() + m_waiting.size()) - 1);
    m_events.insert(m_events.end(), m_waiting.begin(), m_waiting.end());
    m_waiting.clear();
    endInsertRows();
    return true;
}

bool LogModel::writeCsv(QIODevice& device)
{
    showWaiting();
    return EventColumns::writeCsv(m_events, device);
}
