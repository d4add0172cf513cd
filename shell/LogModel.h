#pragma once

#include "net/Event.h"

#include <QAbstractTableModel>

#include <deque>

class QIODevice;

// The log of every panel's events, newest last. It keeps the last Capacity lines, so its
// memory stays bounded under a flood of sources.
class LogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr std::size_t Capacity = 10000;

    explicit LogModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(const Event& event);
    // The log as CSV with a header row; false when it cannot be written.
    bool writeCsv(QIODevice& device) const;

private:
    std::deque<Event> m_events;
};
