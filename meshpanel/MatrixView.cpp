#include "meshpanel/MatrixView.h"

#include "widgets/MarkColours.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace {

using Mark = RecentMarks::Mark;

const char* stateWord(PairState state)
{
    switch (state) {
    case PairState::Ok:
        return "OK";
    case PairState::Lost:
        return "lost";
    case PairState::Stopped:
        return "stopped";
    case PairState::Never:
        break;
    }
    return "never heard";
}

// How far a member is from well: hearing no one, then heard by no one, then losing some.
int trouble(const MeshMatrix& matrix, std::size_t member)
{
    const MemberReport& sums = matrix.at(member).summary;
    return sums.hearsNoOne() ? 0 : sums.lost ? 1 : 2;
}

} // namespace

MatrixView::MatrixView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    setAccessibleName(tr("Who hears whom"));
}

void MatrixView::setMatrix(const MeshMatrix* matrix, std::function<std::int64_t()> nowMs)
{
    m_matrix = matrix;
    m_nowMs = std::move(nowMs);
    refresh();
}

void MatrixView::setOrder(Order order)
{
    m_sortOrder = order;
    refresh();
}

void MatrixView::setCellSize(int pixels)
{
    m_fitting = false;
    m_cell = std::clamp(pixels, MinimumCell, MaximumCell);
    refresh();
}

// Until the user zooms, a small mesh gets cells large enough for its names and hops, a
// large one the default size.
void MatrixView::fitCells()
{
    const int count = std::max(1, int(m_matrix ? m_matrix->size() : 0));
    const int room = std::min(viewport()->width(), viewport()->height()) * 2 / 3;
    m_cell = std::clamp(room / count, int(DefaultCell), 2 * fontMetrics().height() + 2);
}

bool MatrixView::namesShown() const { return m_cell >= fontMetrics().height(); }

void MatrixView::refreshIfChanged()
{
    if (m_matrix && m_matrix->generation() != m_shownGeneration)
        refresh();
}

void MatrixView::refresh()
{
    m_shownGeneration = m_matrix ? m_matrix->generation() : 0;
    if (m_fitting)
        fitCells();
    m_order.clear();
    const std::size_t size = m_matrix ? m_matrix->size() : 0;
    for (std::size_t member = 0; member < size; ++member)
        m_order.push_back(member);
    const auto name = [this](std::size_t m) { return m_matrix->nameOf(m); };
    switch (m_sortOrder) {
    case Order::ByName:
        std::stable_sort(m_order.begin(), m_order.end(),
            [&](std::size_t a, std::size_t b) { return name(a) < name(b); });
        break;
    case Order::TroubleFirst:
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
            return std::make_pair(trouble(*m_matrix, a), name(a))
                < std::make_pair(trouble(*m_matrix, b), name(b));
        });
        break;
    case Order::ByAddress:
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
            return std::make_pair(m_matrix->at(a).address, m_matrix->at(a).port)
                < std::make_pair(m_matrix->at(b).address, m_matrix->at(b).port);
        });
        break;
    }
    m_headingWidth = 0;
    if (namesShown()) {
        for (int place = 0; place < int(m_order.size()); ++place)
            m_headingWidth
                = std::max(m_headingWidth, fontMetrics().horizontalAdvance(nameAt(place)));
        m_headingWidth += fontMetrics().averageCharWidth();
    }
    updateScrollBars();
    viewport()->update();
}

QString MatrixView::nameAt(int place) const
{
    return QString::fromStdString(m_matrix->nameOf(memberAt(place)));
}

QPoint MatrixView::origin() const { return { m_headingWidth, m_headingWidth }; }

QRect MatrixView::cellRect(int row, int column) const
{
    const QPoint at = origin()
        + QPoint(column * m_cell - horizontalScrollBar()->value(),
            row * m_cell - verticalScrollBar()->value());
    return { at, QSize(m_cell, m_cell) };
}

QPoint MatrixView::cellAt(const QPoint& point) const
{
    const QPoint inCells
        = point - origin() + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int count = int(m_order.size());
    if (inCells.x() < 0 || inCells.y() < 0 || point.x() < origin().x() || point.y() < origin().y())
        return { -1, -1 };
    const QPoint cell(inCells.x() / m_cell, inCells.y() / m_cell);
    return cell.x() < count && cell.y() < count ? QPoint(cell.y(), cell.x()) : QPoint(-1, -1);
}

void MatrixView::updateScrollBars()
{
    const int extent = int(m_order.size()) * m_cell;
    const QSize room = viewport()->size() - QSize(origin().x(), origin().y());
    horizontalScrollBar()->setRange(0, std::max(0, extent - room.width()));
    verticalScrollBar()->setRange(0, std::max(0, extent - room.height()));
    horizontalScrollBar()->setPageStep(room.width());
    verticalScrollBar()->setPageStep(room.height());
    horizontalScrollBar()->setSingleStep(m_cell);
    verticalScrollBar()->setSingleStep(m_cell);
}

void MatrixView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fitting)
        refresh();
    else
        updateScrollBars();
}

QString MatrixView::cellText(int row, int column) const
{
    const int count = int(m_order.size());
    if (row < 0 || column < 0 || row >= count || column >= count)
        return {};
    const std::size_t hearer = memberAt(row);
    const std::size_t heard = memberAt(column);
    if (hearer == heard)
        return nameAt(row);
    const MeshCell& cell = m_matrix->cell(hearer, heard);
    QString text
        = tr("%1 hears %2: %3").arg(nameAt(row), nameAt(column), tr(stateWord(cell.state)));
    if (cell.state == PairState::Never)
        return text;
    text += tr(", %1 of %2 missing")
                .arg(cell.recentMissing)
                .arg(cell.recentReceived + cell.recentMissing);
    if (const int hops = m_matrix->hops(hearer, heard); hops >= 0)
        text += hops == 1 ? tr(", 1 hop") : tr(", %1 hops").arg(hops);
    const qint64 age = m_nowMs ? (m_nowMs() - cell.reportMs) / 1000 : 0;
    return text + tr(", report %1 s old").arg(std::max<qint64>(0, age));
}

void MatrixView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.fillRect(viewport()->rect(), colours.color(QPalette::Base));
    const int count = int(m_order.size());
    if (!count)
        return;
    const bool darkCell = colours.color(QPalette::Base).lightness() < 128;
    const QRect cells = viewport()->rect().intersected(QRect(origin(), viewport()->size()));
    const int firstColumn = std::max(0, (cells.left() - cellRect(0, 0).left()) / m_cell);
    const int lastColumn = std::min(count - 1, (cells.right() - cellRect(0, 0).left()) / m_cell);
    const int firstRow = std::max(0, (cells.top() - cellRect(0, 0).top()) / m_cell);
    const int lastRow = std::min(count - 1, (cells.bottom() - cellRect(0, 0).top()) / m_cell);
    const QColor ok = markColour(Mark::Received, darkCell);
    const QColor lost = markColour(Mark::Missing, darkCell);
    const QColor stopped = markColour(Mark::Duplicate, darkCell);
    const QColor self = colours.color(QPalette::Mid);
    const bool hopsShown = m_cell >= 2 * fontMetrics().height();
    // A gap between cells once they are large enough to spare it, so that shapes read.
    const int gap = m_cell >= 4 ? 1 : 0;
    const int stub = std::max(1, m_cell / 3);
    painter.setClipRect(cells);
    if (m_cell < 4) {
        // The overview: too small for shapes, a pixel of colour a cell, written into an
        // image and drawn once, where a fill a cell would take a million calls.
        QImage overview(lastColumn - firstColumn + 1, lastRow - firstRow + 1, QImage::Format_RGB32);
        const QRgb colourOf[]
            = { ok.rgb(), lost.rgb(), stopped.rgb(), colours.color(QPalette::Base).rgb() };
        for (int row = firstRow; row <= lastRow; ++row) {
            auto* line = reinterpret_cast<QRgb*>(overview.scanLine(row - firstRow));
            const std::size_t hearer = memberAt(row);
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const std::size_t heard = memberAt(column);
                line[column - firstColumn] = hearer == heard
                    ? self.rgb()
                    : colourOf[int(m_matrix->cell(hearer, heard).state)];
            }
        }
        painter.drawImage(
            QRect(cellRect(firstRow, firstColumn).topLeft(), overview.size() * m_cell), overview);
    }
    for (int row = firstRow; m_cell >= 4 && row <= lastRow; ++row) {
        const std::size_t hearer = memberAt(row);
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const std::size_t heard = memberAt(column);
            const QRect rect = cellRect(row, column).adjusted(0, 0, -gap, -gap);
            if (hearer == heard) {
                painter.fillRect(
                    rect, QBrush(self, m_cell >= 4 ? Qt::BDiagPattern : Qt::SolidPattern));
                continue;
            }
            const PairState state = m_matrix->cell(hearer, heard).state;
            switch (state) {
            case PairState::Ok:
                painter.fillRect(rect, ok);
                break;
            case PairState::Lost:
                painter.fillRect(rect.left(), rect.bottom() - stub + 1, rect.width(), stub, lost);
                break;
            case PairState::Stopped:
                painter.fillRect(rect.left(), rect.top(), rect.width(),
                    rect.height() / 2 + (m_cell < 2), stopped);
                break;
            case PairState::Never:
                break;
            }
            if (hopsShown && state != PairState::Never) {
                if (const int hops = m_matrix->hops(hearer, heard); hops >= 0) {
                    // On a filled cell in the cell's own colour against it, else in the text's.
                    painter.setPen(
                        colours.color(state == PairState::Ok ? QPalette::Base : QPalette::Text));
                    painter.drawText(rect, Qt::AlignCenter, QString::number(hops));
                }
            }
        }
    }
    // What the mouse is over, and the selection, over the cells.
    QColor highlight = colours.color(QPalette::Highlight);
    highlight.setAlpha(48);
    if (m_hover.x() >= 0) {
        painter.fillRect(
            QRect(cells.left(), cellRect(m_hover.x(), 0).top(), cells.width(), m_cell), highlight);
        painter.fillRect(
            QRect(cellRect(0, m_hover.y()).left(), cells.top(), m_cell, cells.height()), highlight);
    }
    if (!m_selection.isEmpty()) {
        const QRect area = cellRect(m_selection.top(), m_selection.left())
                               .united(cellRect(m_selection.bottom(), m_selection.right()));
        highlight.setAlpha(96);
        painter.fillRect(area, highlight);
    }
    if (hasFocus()) {
        painter.setPen(QPen(colours.color(QPalette::Text), 1, Qt::DotLine));
        painter.drawRect(cellRect(m_focus.x(), m_focus.y()).adjusted(0, 0, -1, -1));
    }
    // The names, where they fit: rows at the left, columns up the top.
    painter.setClipping(false);
    if (!m_headingWidth)
        return;
    painter.fillRect(0, 0, m_headingWidth, viewport()->height(), colours.color(QPalette::Window));
    painter.fillRect(0, 0, viewport()->width(), m_headingWidth, colours.color(QPalette::Window));
    painter.setPen(colours.color(QPalette::WindowText));
    painter.setClipRect(0, origin().y(), m_headingWidth, viewport()->height());
    for (int row = firstRow; row <= lastRow; ++row)
        painter.drawText(QRect(0, cellRect(row, 0).top(), m_headingWidth - 2, m_cell),
            Qt::AlignRight | Qt::AlignVCenter, nameAt(row));
    painter.setClipRect(origin().x(), 0, viewport()->width(), m_headingWidth);
    painter.rotate(-90);
    for (int column = firstColumn; column <= lastColumn; ++column)
        painter.drawText(
            QRect(-m_headingWidth + 2, cellRect(0, column).left(), m_headingWidth - 2, m_cell),
            Qt::AlignLeft | Qt::AlignVCenter, nameAt(column));
}

bool MatrixView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint cell = cellAt(help->pos());
        QString text = cellText(cell.x(), cell.y());
        if (text.isEmpty()) {
            // Over a heading whose name did not fit, or none shown: the name.
            const QPoint rowCell = cellAt(QPoint(origin().x(), help->pos().y()));
            const QPoint columnCell = cellAt(QPoint(help->pos().x(), origin().y()));
            if (help->pos().x() < origin().x() && rowCell.x() >= 0)
                text = nameAt(rowCell.x());
            else if (help->pos().y() < origin().y() && columnCell.y() >= 0)
                text = nameAt(columnCell.y());
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    if (event->type() == QEvent::Leave && m_hover.x() >= 0) {
        m_hover = { -1, -1 };
        viewport()->update();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void MatrixView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint cell = cellAt(event->position().toPoint());
    if (cell != m_hover) {
        m_hover = cell;
        viewport()->update();
    }
    if ((event->buttons() & Qt::LeftButton) && cell.x() >= 0 && m_anchor.x() >= 0) {
        m_selection
            = QRect(QPoint(std::min(m_anchor.y(), cell.y()), std::min(m_anchor.x(), cell.x())),
                QPoint(std::max(m_anchor.y(), cell.y()), std::max(m_anchor.x(), cell.x())));
        viewport()->update();
    }
}

void MatrixView::mousePressEvent(QMouseEvent* event)
{
    const QPoint cell = cellAt(event->position().toPoint());
    m_anchor = cell;
    m_selection = cell.x() >= 0 ? QRect(QPoint(cell.y(), cell.x()), QSize(1, 1)) : QRect();
    if (cell.x() >= 0)
        setFocusedCell(cell);
    viewport()->update();
}

void MatrixView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const int steps = event->angleDelta().y() / 120;
    setCellSize(steps > 0 ? m_cell * 2 : m_cell / 2);
}

void MatrixView::setFocusedCell(QPoint cell)
{
    const int last = int(m_order.size()) - 1;
    if (last < 0)
        return;
    cell = QPoint(std::clamp(cell.x(), 0, last), std::clamp(cell.y(), 0, last));
    m_focus = cell;
    const QString text = cellText(cell.x(), cell.y());
    // Screen readers read the focused cell as the view's description.
    setAccessibleDescription(text);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    emit focusedCellChanged(text);
    viewport()->update();
}

void MatrixView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(selectionText());
        return;
    }
    if (event->matches(QKeySequence::ZoomIn) || event->key() == Qt::Key_Plus) {
        setCellSize(m_cell * 2);
        return;
    }
    if (event->matches(QKeySequence::ZoomOut) || event->key() == Qt::Key_Minus) {
        setCellSize(m_cell / 2);
        return;
    }
    const QPoint moves[] = { { 0, -1 }, { 0, 1 }, { -1, 0 }, { 1, 0 } };
    const int keys[] = { Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down };
    for (int i = 0; i < 4; ++i) {
        if (event->key() == keys[i]) {
            setFocusedCell(m_focus + moves[i]);
            m_selection = QRect(QPoint(m_focus.y(), m_focus.x()), QSize(1, 1));
            const QRect rect = cellRect(m_focus.x(), m_focus.y());
            if (!viewport()->rect().contains(rect)) {
                horizontalScrollBar()->setValue(m_focus.y() * m_cell - viewport()->width() / 2);
                verticalScrollBar()->setValue(m_focus.x() * m_cell - viewport()->height() / 2);
            }
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

QString MatrixView::selectionText() const
{
    if (m_selection.isEmpty())
        return {};
    QStringList heading { QString() };
    for (int column = m_selection.left(); column <= m_selection.right(); ++column)
        heading << nameAt(column);
    QStringList lines { heading.join(QLatin1Char('\t')) };
    for (int row = m_selection.top(); row <= m_selection.bottom(); ++row) {
        QStringList line { nameAt(row) };
        for (int column = m_selection.left(); column <= m_selection.right(); ++column)
            line << (row == column ? QStringLiteral("-")
                                   : QLatin1String(stateWord(
                                       m_matrix->cell(memberAt(row), memberAt(column)).state)));
        lines << line.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
