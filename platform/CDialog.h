#pragma once

#include "CDataExchange.h"
#include "DialogTemplate.h"

#include <QWidget>

class CPanelTickEvent;

// A modeless dialog inside another window, built from a template. Unlike QDialog it has
// no default button and no Escape handling: Enter and Escape never close it.
class CDialog : public QWidget {
    Q_OBJECT

public:
    explicit CDialog(QWidget* parent = nullptr);

    // Reads and checks every field into the members (true), or shows the members (false).
    // Returns false when a field failed its check.
    bool UpdateData(bool saveAndValidate = true);
    int MessageBox(const QString& text, const QString& caption, unsigned type);

    QSize sizeHint() const override { return m_templateSize; }
    QSize minimumSizeHint() const override { return m_templateSize; }

protected:
    // Creates the controls and shows the members in them.
    void Create(const DialogTemplate& dialogTemplate, const QString& iconResource = {});
    virtual void DoDataExchange(CDataExchange& dx) = 0;
    virtual int OnPanelTick(int phase, int);
    bool event(QEvent* event) override;

    template <class Control> Control* GetDlgItem(const char* id) const
    {
        return findChild<Control*>(QLatin1String(id), Qt::FindDirectChildrenOnly);
    }

private:
    QSize m_templateSize;
};
