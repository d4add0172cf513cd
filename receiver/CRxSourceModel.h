#pragma once

#include <QAbstractTableModel>
#include <QTimer>

#include <ctime>

class CRxSource;
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

    // What a cell shows, and a column's heading, for the list and for printed rows.
    static QString CellText(const CRxSource& source, int column);
    static QString Heading(int column);
    static QString TimeText(std::time_t time);

    // The source at this place in the table was counted into, or added.
    void SourceChanged(std::size_t index);

private:
    void AnnounceChanges();

    const CRxSourceList& m_sources;
    int m_nRows = 0; // the rows the view knows of
    int m_nFirstChanged = -1;
    int m_nLastChanged = -1;
    QTimer m_announcer;
};
