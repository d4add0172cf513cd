#pragma once

#include "core/MeshMatrix.h"

#include <QAbstractScrollArea>

#include <functional>
#include <vector>

// Who hears whom, a row a member and a column a member in one order, painted straight from
// the matrix's arrays, never through an item a cell. From 4 pixels a cell up, a cell's state
// shows by its shape as well as its colour: OK fills it, lost is a stub at its foot, stopped
// its upper half, never heard nothing; the diagonal is hatched. Below, in the overview, by
// colour alone. Cells run from a
// pixel each (an overview) to cells with the hops written in. The row and column under the
// mouse are highlighted; the arrows move a focused cell, whose text screen readers get; a
// drag selects cells, which Ctrl+C copies as tab-separated text.
class MatrixView : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum class Order { ByName, TroubleFirst, ByAddress };
    static constexpr int MinimumCell = 1;
    static constexpr int DefaultCell = 8;
    static constexpr int MaximumCell = 40;

    explicit MatrixView(QWidget* parent = nullptr);

    // The matrix shown, and the clock its ages are told by; the view keeps neither beyond
    // the matrix's life.
    void setMatrix(const MeshMatrix* matrix, std::function<std::int64_t()> nowMs);
    void setOrder(Order order);
    void setCellSize(int pixels);
    int cellSize() const { return m_cell; }
    // Takes the matrix anew: the order, the headings and what is in sight.
    void refresh();
    // Refreshes where the matrix changed what it shows since the last refresh.
    void refreshIfChanged();

    // "host-b hears host-c: OK, 0 of 60 missing, 2 hops, report 3 s old", by place in the
    // order shown; empty outside the matrix.
    QString cellText(int row, int column) const;
    // The place in the order of what is at a point of the viewport; -1 outside.
    QPoint cellAt(const QPoint& point) const;
    // Where a cell is in the viewport, by place in the order shown.
    QRect cellRect(int row, int column) const;
    // The selected cells as text: a heading line of the columns' names, then a line a row.
    QString selectionText() const;

signals:
    void focusedCellChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::size_t memberAt(int place) const { return m_order[std::size_t(place)]; }
    QString nameAt(int place) const;
    // Where the cells start in the viewport: right of the row names and under the columns'.
    QPoint origin() const;
    void updateScrollBars();
    void setFocusedCell(QPoint cell);
    bool namesShown() const;
    void fitCells();

    const MeshMatrix* m_matrix = nullptr;
    std::function<std::int64_t()> m_nowMs;
    Order m_sortOrder = Order::ByName;
    std::vector<std::size_t> m_order;
    int m_cell = DefaultCell;
    bool m_fitting = true; // the cells' size follows the view's until the user zooms
    int m_headingWidth = 0; // of the names, where they are shown
    QPoint m_hover { -1, -1 };
    QPoint m_focus { 0, 0 };
    QPoint m_anchor { -1, -1 }; // where the selection started
    QRect m_selection; // in places of the order
    std::uint64_t m_shownGeneration = 0;
};
