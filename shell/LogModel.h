#pragma once

#include "net/Event.h"
#include "widgets/UpdateThrottle.h"

#include <QAbstractTableModel>

#include <deque>

class QIODevice;

// The log of every panel's events, newest last. It keeps the last Capacity lines, so its
// memory stays bounded under a flood of sources. Events join the rows the views know of
// right after they came, then at most every ChangeInterval, together: a view that took a
// flood one row at a time would stall the whole program.
class LogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr std::size_t Capacity = 10000;
    static constexpr std::chrono::milliseconds ChangeInterval { 100 };

    explicit LogModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(const Event& event);
    // The log as CSV with a header row, the events not yet shown too; false when it cannot be
    // written.
    bool writeCsv(QIODevice& device);

private:
    // False when nothing waited.
    bool showWaiting();

    std::deque<Event> m_events; // the rows the views know of
    std::deque<Event> m_waiting; // the latest Capacity at most
    UpdateThrottle m_throttle { ChangeInterval, [this] { return showWaiting(); } };
};
