#include "ClickableImage.h"

#include <QMouseEvent>

namespace Qurel {

ClickableImage::ClickableImage(QWidget *parent)
    : QLabel(parent)
{
}

void ClickableImage::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed();
    m_pressed = event->button() == Qt::LeftButton;
}

void ClickableImage::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click
        = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void ClickableImage::enterEvent(QEnterEvent *)
{
    emit mouseEntered();
}

void ClickableImage::leaveEvent(QEvent *)
{
    emit mouseLeft();
}

} // namespace Qurel
