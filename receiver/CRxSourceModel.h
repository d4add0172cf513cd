#pragma once

#include <QAbstractTableModel>
#include <QTimer>

#include <ctime>

class CRxSourceList;

// The receiver's list: one row per source, in order of first arrival, over the panel's
// source table. Sources change many times a second under traffic; the view hears of it at
// most every CHANGE_INTERVAL_MS, which is still live to the eye.
class CRxSourceModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        SourceIp,
        SrcUdp,
        LastRxTime,
        LastSeq,
        Freq,
        ConsRx,
        ConsMiss,
        TotalRx,
        TotalMiss,
        Dups,
        ColumnCount
    };

    static constexpr int CHANGE_INTERVAL_MS = 40;

    explicit CRxSourceModel(const CRxSourceList& sources, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The share of the list's width a column takes, out of WeightTotal().
    static unsigned Weight(int column);
    static unsigned WeightTotal();

    // The source at this place in the table was counted into, or added.
    void SourceChanged(std::size_t index);

private:
    void AnnounceChanges();
    QString TimeText(std::time_t time) const;

    const CRxSourceList& m_sources;
    int m_nRows = 0; // the rows the view knows of
    int m_nFirstChanged = -1;
    int m_nLastChanged = -1;
    QTimer m_announcer;
    // The time of a datagram is the same for many rows and many repaints: format it once.
    mutable std::time_t m_timeShown = -1;
    mutable QString m_strTimeShown;
};
