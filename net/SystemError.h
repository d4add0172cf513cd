#pragma once

#include <QString>

// The system's own text for an error code, such as "Address already in use".
QString systemErrorText(int error);
