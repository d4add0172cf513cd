#include "CDialog.h"

#include "MessageBox.h"
#include "PanelTick.h"

CDialog::CDialog(QWidget* parent)
    : QWidget(parent)
{
}

void CDialog::Create(const DialogTemplate& dialogTemplate, const QString& iconResource)
{
    m_templateSize = CreateDialogControls(this, dialogTemplate, iconResource);
    resize(m_templateSize);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

int CDialog::MessageBox(const QString& text, const QString& caption, unsigned type)
{
    return ShowMessageBox(this, text, caption, type);
}

int CDialog::OnPanelTick(int, int) { return 1; }

bool CDialog::event(QEvent* event)
{
    if (event->type() == WM_PANEL_TICK) {
        OnPanelTick(static_cast<CPanelTickEvent*>(event)->Phase(), 0);
        return true;
    }
    return QWidget::event(event);
}
