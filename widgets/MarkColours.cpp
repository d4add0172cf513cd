#include "widgets/MarkColours.h"

QColor markColour(RecentMarks::Mark mark, bool darkCell)
{
    using Mark = RecentMarks::Mark;
    switch (mark) {
    case Mark::Received:
        return darkCell ? QColor(0x4c, 0xc3, 0x8a) : QColor(0x00, 0x7a, 0x58);
    case Mark::Missing:
        return darkCell ? QColor(0xff, 0x8a, 0x5c) : QColor(0xc4, 0x4e, 0x00);
    case Mark::Late:
        return darkCell ? QColor(0xf0, 0xc4, 0x4a) : QColor(0x9a, 0x6a, 0x00);
    case Mark::Duplicate:
        return darkCell ? QColor(0x6c, 0xb8, 0xf0) : QColor(0x00, 0x62, 0x9e);
    case Mark::None:
        break;
    }
    return {};
}
