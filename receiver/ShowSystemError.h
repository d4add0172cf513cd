#pragma once

class QString;

// Shows the system's text for the error that the last failed socket operation left,
// in an unowned box with the information icon and the given caption.
void ShowSystemError(const QString& caption);
