#pragma once

#include "core/RecentMarks.h"

#include <QColor>

// The colours of what became of a number, as the Recent strip and the mesh's matrix paint
// them: Okabe and Ito's, which eyes that tell red from green poorly still tell apart, darker
// for light cells and lighter for dark ones, so that each stands out of its cell.
QColor markColour(RecentMarks::Mark mark, bool darkCell);
