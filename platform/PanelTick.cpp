#include "PanelTick.h"

#include <QWidget>

namespace {

QWidget* s_pMainWnd = nullptr;

} // namespace

QWidget* AfxGetMainWnd() { return s_pMainWnd; }

void AfxSetMainWnd(QWidget* window) { s_pMainWnd = window; }

CPanelHost* AfxGetPanelHost() { return dynamic_cast<CPanelHost*>(s_pMainWnd); }
