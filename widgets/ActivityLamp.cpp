#include "widgets/ActivityLamp.h"

#include "res/Pictures.h"

#include <QPainter>

ActivityLamp::ActivityLamp(QWidget* parent)
    : QWidget(parent)
    , m_picture(activityPicture())
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ActivityLamp::sizeHint() const { return m_picture.deviceIndependentSize().toSize(); }

void ActivityLamp::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void ActivityLamp::paintEvent(QPaintEvent*)
{
    if (m_lit)
        QPainter(this).drawPixmap(QPoint(0, 0), m_picture);
}
