#pragma once

#include <QTreeView>

// The receiver's list of sources: rows of one height that change many times a second, and
// columns that keep their shares of the width. Ctrl+C copies the selected rows.
class SourceView : public QTreeView {
    Q_OBJECT

public:
    explicit SourceView(QWidget* parent = nullptr);

    // The headings and the selected rows, a line each, cells separated by tabs.
    QString selectedRowsText() const;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
        const QList<int>& roles = {}) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void resizeColumns();
    void fitHeaderHeight();
};
