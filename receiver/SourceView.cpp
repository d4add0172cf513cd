#include "receiver/SourceView.h"

#include "core/SourceColumns.h"
#include "receiver/RecentDelegate.h"
#include "receiver/SourceModel.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>

#include <algorithm>
#include <numeric>

namespace {

// Room enough for any heading to wrap into, however many lines it takes.
constexpr int UnboundedHeight = 100000;
// The header's frame, above and below its text and margins.
constexpr int HeaderFrame = 2;

} // namespace

SourceView::SourceView(QWidget* parent)
    : QTreeView(parent)
{
    setUniformRowHeights(true);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(0);
    // Narrow columns wrap their headings onto a second line rather than cut them off.
    header()->setDefaultAlignment(
        Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap));

    setItemDelegateForColumn(SourceModel::RecentColumn, new RecentDelegate(this));

    // Copying rows lets a user paste what a receiver saw into a report.
    auto* copy = new QAction(tr("Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this,
        [this] { QApplication::clipboard()->setText(selectedRowsText()); });
    addAction(copy);
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

void SourceView::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    resizeColumns();
}

// The strip of recent marks keeps its width; every other column keeps its share of the rest,
// however the window is sized.
void SourceView::resizeColumns()
{
    const unsigned total = std::accumulate(SourceColumns.begin(), SourceColumns.end(), 0u,
        [](unsigned sum, const SourceColumnInfo& column) { return sum + column.weight; });
    const int strip = RecentDelegate::stripWidth();
    const auto width = unsigned(std::max(0, viewport()->width() - strip));
    for (std::size_t column = 0; column < SourceColumns.size(); ++column)
        header()->resizeSection(int(column), int(width * SourceColumns[column].weight / total));
    header()->resizeSection(SourceModel::RecentColumn, strip);
    fitHeaderHeight();
}

// The header keeps the height it first had; give it as many lines as the narrowest column
// needs for its wrapped heading.
void SourceView::fitHeaderHeight()
{
    if (!model())
        return;
    const QFontMetrics metrics(header()->font());
    const int margin = header()->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    int lines = 1;
    for (int column = 0; column < model()->columnCount(); ++column) {
        const int room = std::max(1, header()->sectionSize(column) - 2 * margin);
        const QString heading = model()->headerData(column, Qt::Horizontal).toString();
        const QRect needed
            = metrics.boundingRect(QRect(0, 0, room, UnboundedHeight), Qt::TextWordWrap, heading);
        lines = std::max(
            lines, (needed.height() + metrics.lineSpacing() - 1) / metrics.lineSpacing());
    }
    const int height = lines * metrics.lineSpacing() + 2 * margin + HeaderFrame;
    if (header()->height() != height)
        header()->setFixedHeight(height);
}

// The columns of text only: the strip of marks is for the eye.
QString SourceView::selectedRowsText() const
{
    const auto line = [](auto cellOf) {
        QStringList cells;
        for (int column = 0; column < int(SourceColumns.size()); ++column)
            cells << cellOf(column);
        return cells.join(QLatin1Char('\t'));
    };
    QStringList lines { line(
        [this](int column) { return model()->headerData(column, Qt::Horizontal).toString(); }) };
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : rows)
        lines << line([&](int column) { return row.siblingAtColumn(column).data().toString(); });
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
