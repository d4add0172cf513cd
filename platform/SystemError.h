#pragma once

#include <QString>

// The system's own text for an error code, such as "Address already in use".
QString SystemErrorText(int error);

// Shows that text in an unowned box with the information icon and the given caption.
void ShowSystemError(const QString& caption, int error);
