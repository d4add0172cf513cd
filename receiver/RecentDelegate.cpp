#include "receiver/RecentDelegate.h"

#include "core/RecentMarks.h"
#include "receiver/SourceModel.h"
#include "widgets/MarkColours.h"

#include <QPainter>

namespace {

using Mark = RecentMarks::Mark;

} // namespace

int RecentDelegate::stripWidth() { return RecentMarks::Size * MarkPitch + 2 * Margin; }

void RecentDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index); // the row's background and selection
    const QVariant marks = index.data(SourceModel::RecentRole);
    if (!marks.isValid())
        return;
    const auto recent = marks.value<RecentMarks>();

    // On a selected row the marks take the selection's text colour; their shapes still read.
    const bool selected = option.state & QStyle::State_Selected;
    const QVariant background = index.data(Qt::BackgroundRole);
    const QColor behind = background.canConvert<QBrush>() ? background.value<QBrush>().color()
                                                          : option.palette.color(QPalette::Base);
    const bool darkCell = behind.lightness() < 128;

    const QRect strip = option.rect.adjusted(Margin, VerticalMargin, -Margin, -VerticalMargin);
    const int pitch = std::clamp(strip.width() / RecentMarks::Size, 2, MarkPitch + 1);
    const int height = strip.height();
    const int half = height / 2;
    const int stub = std::max(2, height / 4);
    painter->save();
    for (int place = 0; place < RecentMarks::Size; ++place) {
        const Mark mark = recent.at(place);
        if (mark == Mark::None)
            continue;
        const QColor colour = selected ? option.palette.color(QPalette::HighlightedText)
                                       : markColour(mark, darkCell);
        const int x = strip.left() + place * pitch;
        const int width = pitch - 1;
        switch (mark) {
        case Mark::Received:
            painter->fillRect(x, strip.top(), width, height, colour);
            break;
        case Mark::Missing:
            painter->fillRect(x, strip.top() + height - stub, width, stub, colour);
            break;
        case Mark::Late:
            painter->fillRect(x, strip.top(), width, half - 1, colour);
            break;
        case Mark::Duplicate:
            painter->fillRect(x, strip.top(), width, half - 1, colour);
            painter->fillRect(x, strip.top() + half + 2, width, height - half - 2, colour);
            break;
        case Mark::None:
            break;
        }
    }
    painter->restore();
}

// Rows a little taller than a line of text, so that the marks' shapes read at a glance.
QSize RecentDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int textHeight = QStyledItemDelegate::sizeHint(option, index).height();
    return { stripWidth(), std::max(textHeight, option.fontMetrics.height() + 3 * VerticalMargin) };
}
