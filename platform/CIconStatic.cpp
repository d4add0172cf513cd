#include "CIconStatic.h"

#include <QPainter>

CIconStatic::CIconStatic(const QPixmap& icon, QWidget* parent)
    : QWidget(parent)
    , m_icon(icon)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CIconStatic::ShowIcon(bool show)
{
    if (show == m_bShown)
        return;
    m_bShown = show;
    update();
}

void CIconStatic::paintEvent(QPaintEvent*)
{
    if (!m_bShown)
        return;
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), m_icon);
}
