#include "receiver/SourceView.h"

#include <QAccessible>

SourceView::SourceView(QWidget* parent)
    : QTreeView(parent)
{
    setUniformRowHeights(true);
}

// Repaints the block of changed cells, found from its two corners. QTreeView would measure
// the first row again, shaping the text of every cell, in case its height changed (with
// uniform rows of plain text it never does), and would find the block cell by cell; under
// traffic both cost more than the repaint itself.
void SourceView::dataChanged(
    const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (QAccessible::isActive()) {
        // Assistive tools are told of every change, the way the base class tells them.
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QRect shown = viewport()->rect();
    const QRect first = visualRect(topLeft);
    const QRect last = visualRect(bottomRight);
    const QRect block(QPoint(first.isValid() ? first.left() : shown.left(),
                          first.isValid() ? first.top() : shown.top()),
        QPoint(last.isValid() ? last.right() : shown.right(),
            last.isValid() ? last.bottom() : shown.bottom()));
    viewport()->update(block & shown);
}
