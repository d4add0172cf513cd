#pragma once

#include <QStyledItemDelegate>

// Paints a source's recent marks as a strip, the oldest at the left: a full bar for a number
// received, a stub at the foot for one missing, a bar in the upper half for one late, two
// blocks for one received twice. The shapes tell them apart without colour; the colours,
// chosen for the light or dark cell behind them, tell them at a glance.
class RecentDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // The width a mark takes, its gap included, in a strip of stripWidth(); a wider cell
    // widens the marks a little, a narrower one narrows them to a line each.
    static constexpr int MarkPitch = 3;
    static constexpr int Margin = 4;
    static constexpr int VerticalMargin = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    // The strip's width with its margins.
    static int stripWidth();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
