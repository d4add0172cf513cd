#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include <vector>

// A report-mode list: rows of text cells under column headings. Rows are kept in the
// order they were inserted; nothing sorts them.
class CListCtrl : public QTreeView {
    Q_OBJECT

public:
    explicit CListCtrl(QWidget* parent = nullptr);

    int InsertColumn(int column, const QString& heading, int width);
    // Inserts a row with text in column 0 at row, or after the last row when row is past it.
    // Returns the new row's index, or -1 when the row could not be added.
    int InsertItem(int row, const QString& text);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const;
    int GetColumnCount() const;
    bool SetColumnWidth(int column, int width);
    int GetColumnWidth(int column) const;
    // The width of the area the rows are drawn in, in pixels.
    int ClientWidth() const;
    // The headings and the selected rows, one line each, cells separated by tabs.
    QString SelectedRowsText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitHeaderHeight();

    class Model : public QAbstractTableModel {
    public:
        using QAbstractTableModel::QAbstractTableModel;

        int rowCount(const QModelIndex& parent = {}) const override;
        int columnCount(const QModelIndex& parent = {}) const override;
        QVariant data(const QModelIndex& index, int role) const override;
        QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

        QStringList headings;
        std::vector<std::vector<QString>> rows;
        void insertColumnAt(int column, const QString& heading);
        void insertRowAt(int row, const QString& text);
        void setCell(int row, int column, const QString& text);
        void announceChanges();

        // Rows whose cells changed since the view last heard of it. A flood of datagrams
        // changes the same rows many times over; the view hears of them at most every
        // CHANGE_INTERVAL_MS, which is still live to the eye but spares a repaint for
        // every few datagrams.
        static constexpr int CHANGE_INTERVAL_MS = 40;
        std::vector<int> changedRows;
        std::vector<bool> rowChanged;
        int firstChangedColumn = 0;
        int lastChangedColumn = -1;
        QTimer announcer;
    };

    Model* m_pModel = nullptr;
};
