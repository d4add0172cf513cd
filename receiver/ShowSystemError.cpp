#include "ShowSystemError.h"

#include "CAsyncSocket.h"
#include "MessageBox.h"

#include <cstring>

void ShowSystemError(const QString& caption)
{
    // Read the code first: nothing may run in between that could replace it.
    const int error = CAsyncSocket::GetLastError();
    const QString text = QString::fromLocal8Bit(std::strerror(error));
    ShowMessageBox(nullptr, text, caption, MB_ICONINFORMATION | MB_OK);
}
