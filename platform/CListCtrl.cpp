#include "CListCtrl.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <new>

CListCtrl::CListCtrl(QWidget* parent)
    : QTreeView(parent)
    , m_pModel(new Model(this))
{
    m_pModel->announcer.setSingleShot(true);
    connect(&m_pModel->announcer, &QTimer::timeout, m_pModel, &Model::announceChanges);
    setModel(m_pModel);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(0);
    // Narrow columns wrap their headings onto a second line rather than cut them off.
    header()->setDefaultAlignment(
        Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap));
}

int CListCtrl::InsertColumn(int column, const QString& heading, int width)
{
    column = std::clamp(column, 0, int(m_pModel->headings.size()));
    m_pModel->insertColumnAt(column, heading);
    SetColumnWidth(column, width);
    return column;
}

int CListCtrl::InsertItem(int row, const QString& text)
{
    const int count = int(m_pModel->rows.size());
    row = std::clamp(row, 0, count);
    try {
        m_pModel->insertRowAt(row, text);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return row;
}

bool CListCtrl::SetItemText(int row, int column, const QString& text)
{
    if (row < 0 || row >= int(m_pModel->rows.size()) || column < 0
        || column >= std::max(1, int(m_pModel->headings.size())))
        return false;
    m_pModel->setCell(row, column, text);
    return true;
}

QString CListCtrl::GetItemText(int row, int column) const
{
    if (row < 0 || row >= int(m_pModel->rows.size()) || column < 0
        || column >= int(m_pModel->rows[row].size()))
        return {};
    return m_pModel->rows[row][column];
}

int CListCtrl::GetItemCount() const { return int(m_pModel->rows.size()); }

int CListCtrl::GetColumnCount() const { return int(m_pModel->headings.size()); }

bool CListCtrl::SetColumnWidth(int column, int width)
{
    if (column < 0 || column >= GetColumnCount())
        return false;
    header()->resizeSection(column, width);
    fitHeaderHeight();
    return true;
}

// The header keeps the height it first had; give it as many lines as the narrowest
// column needs for its wrapped heading.
void CListCtrl::fitHeaderHeight()
{
    const QFontMetrics metrics(header()->font());
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    int lines = 1;
    for (int column = 0; column < GetColumnCount(); ++column) {
        const int room = std::max(1, header()->sectionSize(column) - 2 * margin);
        const QRect needed = metrics.boundingRect(
            QRect(0, 0, room, 100000), Qt::TextWordWrap, m_pModel->headings.at(column));
        lines = std::max(
            lines, (needed.height() + metrics.lineSpacing() - 1) / metrics.lineSpacing());
    }
    const int height = lines * metrics.lineSpacing() + 2 * margin + 2;
    if (header()->height() != height)
        header()->setFixedHeight(height);
}

int CListCtrl::GetColumnWidth(int column) const { return header()->sectionSize(column); }

int CListCtrl::ClientWidth() const
{
    // From the frame rather than the viewport, whose size lags until the list is shown.
    int width = contentsRect().width();
    if (verticalScrollBar()->isVisible())
        width -= verticalScrollBar()->width();
    return width;
}

QString CListCtrl::SelectedRowsText() const
{
    QStringList lines { m_pModel->headings.join(QLatin1Char('\t')) };
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : rows) {
        QStringList cells;
        for (const QString& cell : m_pModel->rows[std::size_t(row.row())])
            cells << cell;
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// Copying rows lets a user paste what a receiver saw into a report.
void CListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(SelectedRowsText());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

int CListCtrl::Model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int CListCtrl::Model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(headings.size());
}

QVariant CListCtrl::Model::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const auto& row = rows[std::size_t(index.row())];
    return std::size_t(index.column()) < row.size() ? row[std::size_t(index.column())] : QString();
}

QVariant CListCtrl::Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= headings.size())
        return {};
    return headings.at(section);
}

void CListCtrl::Model::insertColumnAt(int column, const QString& heading)
{
    beginInsertColumns({}, column, column);
    headings.insert(column, heading);
    for (auto& row : rows)
        row.insert(row.begin() + column, QString());
    endInsertColumns();
}

void CListCtrl::Model::insertRowAt(int row, const QString& text)
{
    std::vector<QString> cells(std::max<std::size_t>(1, std::size_t(headings.size())));
    cells[0] = text;
    if (rows.size() == rows.capacity()) // may throw; nothing has been announced yet
        rows.reserve(rows.size() * 2 + 16);
    beginInsertRows({}, row, row);
    rows.insert(rows.begin() + row, std::move(cells));
    rowChanged.insert(rowChanged.begin() + row, false);
    for (int& changed : changedRows)
        changed += changed >= row ? 1 : 0;
    endInsertRows();
}

void CListCtrl::Model::setCell(int row, int column, const QString& text)
{
    QString& cell = rows[std::size_t(row)][std::size_t(column)];
    if (cell == text)
        return;
    cell = text;
    if (lastChangedColumn < firstChangedColumn) {
        firstChangedColumn = lastChangedColumn = column;
    } else {
        firstChangedColumn = std::min(firstChangedColumn, column);
        lastChangedColumn = std::max(lastChangedColumn, column);
    }
    if (rowChanged[std::size_t(row)])
        return;
    rowChanged[std::size_t(row)] = true;
    if (changedRows.empty())
        announcer.start(CHANGE_INTERVAL_MS);
    changedRows.push_back(row);
}

void CListCtrl::Model::announceChanges()
{
    if (changedRows.empty())
        return;
    int first = changedRows.front();
    int last = first;
    for (int row : changedRows) {
        rowChanged[std::size_t(row)] = false;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    changedRows.clear();
    const int firstColumn = firstChangedColumn;
    const int lastColumn = lastChangedColumn;
    lastChangedColumn = -1;
    // The view reads the cells when it paints, so a repaint of the changed block is all it
    // needs; working the change out cell by cell costs it far more than painting. Assistive
    // tools, when one listens, are told what changed.
    if (QAccessible::isActive()) {
        emit dataChanged(index(first, firstColumn), index(last, lastColumn), { Qt::DisplayRole });
        return;
    }
    auto* view = static_cast<CListCtrl*>(QObject::parent());
    const QRect topLeft = view->visualRect(index(first, firstColumn));
    const QRect bottomRight = view->visualRect(index(last, lastColumn));
    const QRect viewport = view->viewport()->rect();
    const QRect block(QPoint(topLeft.isValid() ? topLeft.left() : viewport.left(),
                          topLeft.isValid() ? topLeft.top() : viewport.top()),
        QPoint(bottomRight.isValid() ? bottomRight.right() : viewport.right(),
            bottomRight.isValid() ? bottomRight.bottom() : viewport.bottom()));
    view->viewport()->update(block & viewport);
}
