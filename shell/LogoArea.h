#pragma once

#include <QMdiArea>
#include <QPixmap>

// The main window's client area: mid grey, with the title banner in its top-left corner at
// the banner's own size.
class LogoArea : public QMdiArea {
    Q_OBJECT

public:
    explicit LogoArea(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPixmap m_banner;
};
