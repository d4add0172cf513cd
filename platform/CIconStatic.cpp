#include "platform/CIconStatic.h"

#include <QPainter>

CIconStatic::CIconStatic(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CIconStatic::SetIcon(const QPixmap& icon)
{
    m_icon = icon;
    updateGeometry();
    update();
}

QSize CIconStatic::sizeHint() const { return m_icon.deviceIndependentSize().toSize(); }

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
