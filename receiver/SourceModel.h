#pragma once

#include "core/SourceColumns.h"
#include "core/SourceTable.h"
#include "widgets/UpdateThrottle.h"

#include <QAbstractTableModel>

Q_DECLARE_METATYPE(RecentMarks)

// The receiver's list: one row per source, in order of first arrival, over the panel's
// source table. Sources change many times a second under traffic; the view hears of it at
// once, then at most every ChangeInterval, which is still live to the eye. After the columns
// of text comes one more, Recent, which the list draws from the source's recent marks.
class SourceModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ChangeInterval { 40 };
    static constexpr int RecentColumn = int(SourceColumns.size());
    // The Recent column's marks, as RecentMarks.
    static constexpr int RecentRole = Qt::UserRole;

    explicit SourceModel(const SourceTable& sources, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The source at this place in the table was counted into, or added.
    void sourceChanged(std::size_t index, SourceChange change = SourceChange::Everything);
    // The table has been emptied: so is the list.
    void clear();

private:
    // What the strip shows, in words, for its tooltip and for screen readers.
    static QString recentText(const RecentMarks& recent);
    // False when there was nothing to tell.
    bool announceChanges();

    const SourceTable& m_sources;
    int m_rows = 0; // the rows the view knows of
    int m_firstChanged = -1;
    int m_lastChanged = -1;
    SourceChange m_change = SourceChange::Repeated; // the most that changed in those rows
    UpdateThrottle m_announcer { ChangeInterval, [this] { return announceChanges(); } };
};
