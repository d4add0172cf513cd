#include "shell/LogoArea.h"

#include "res/Pictures.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

const QColor Backdrop(128, 128, 128);

} // namespace

LogoArea::LogoArea(QWidget* parent)
    : QMdiArea(parent)
{
    setBackground(Backdrop);
}

void LogoArea::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Backdrop);
    // Loaded once; a failed load is tried again at the next paint.
    if (m_banner.isNull())
        m_banner = logoBanner();
    if (!m_banner.isNull())
        painter.drawPixmap(QPoint(0, 0), m_banner);
}

// The banner stays in its corner; the area around it must be painted anew.
void LogoArea::resizeEvent(QResizeEvent* event)
{
    QMdiArea::resizeEvent(event);
    viewport()->update();
}
