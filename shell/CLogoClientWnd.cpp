#include "shell/CLogoClientWnd.h"

#include "res/Pictures.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

const QColor BACKDROP(128, 128, 128);

} // namespace

CLogoClientWnd::CLogoClientWnd(QWidget* parent)
    : QMdiArea(parent)
{
    setBackground(BACKDROP);
}

void CLogoClientWnd::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), BACKDROP);
    if (m_bmpLogo.isNull()) {
        // Loaded once; a failed load is tried again at the next paint.
        m_bmpLogo = LogoBanner();
    }
    if (!m_bmpLogo.isNull())
        painter.drawPixmap(QPoint(0, 0), m_bmpLogo);
}

void CLogoClientWnd::resizeEvent(QResizeEvent* event)
{
    QMdiArea::resizeEvent(event);
    viewport()->update();
}
