#pragma once

#include <QString>

// The system's own text for an error code, such as "Address already in use".
QString systemErrorText(int error);
// What failed, then the hint at its cause as a sentence of its own; the failure alone
// without one.
QString withHint(const QString& failure, const QString& hint);
