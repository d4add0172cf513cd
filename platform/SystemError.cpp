#include "platform/SystemError.h"

#include "platform/MessageBox.h"

#include <cstring>

QString SystemErrorText(int error)
{
    char text[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    return QString::fromLocal8Bit(strerror_r(error, text, sizeof text));
}

void ShowSystemError(const QString& caption, int error)
{
    ShowMessageBox({ nullptr, SystemErrorText(error), caption, QMessageBox::Information });
}
