#include "shell/CTxMDIChildWnd.h"

#include "transmitter/CAddTx.h"

#include <QCloseEvent>

CTxMDIChildWnd::CTxMDIChildWnd(QWidget* parent)
    : QMdiSubWindow(parent,
        Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void CTxMDIChildWnd::closeEvent(QCloseEvent* event)
{
    auto* panel = qobject_cast<CAddTx*>(widget());
    if (panel && !panel->QueryClose()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}
