#pragma once

#include <QMdiSubWindow>

// The child window of a receiver panel: resizable, but never smaller than it opened.
class CRxMDIChildWnd : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit CRxMDIChildWnd(QWidget* parent = nullptr);

    void SetMinTrackSize(int width, int height);
};
