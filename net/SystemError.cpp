#include "net/SystemError.h"

#include <cstring>

QString systemErrorText(int error)
{
    char text[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    return QString::fromLocal8Bit(strerror_r(error, text, sizeof text));
}

QString withHint(const QString& failure, const QString& hint)
{
    return hint.isEmpty() ? failure : failure + QLatin1String(". ") + hint;
}
