#include "shell/CRxMDIChildWnd.h"

CRxMDIChildWnd::CRxMDIChildWnd(QWidget* parent)
    : QMdiSubWindow(parent,
        Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void CRxMDIChildWnd::SetMinTrackSize(int width, int height) { setMinimumSize(width, height); }
