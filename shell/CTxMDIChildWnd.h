#pragma once

#include <QMdiSubWindow>

// The child window of a transmitter panel: fixed size, no maximise button, and it asks its
// panel before it closes.
class CTxMDIChildWnd : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit CTxMDIChildWnd(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};
