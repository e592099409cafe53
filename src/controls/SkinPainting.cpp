#include "SkinPainting.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace Qurel {

void DrawThreeSlice(QPainter &painter, const QRect &target, const QPixmap &picture, int ends)
{
    if (picture.isNull() || target.width() <= 0)
        return;
    const int w = picture.width();
    const int h = picture.height();
    const int end = qMax(0, std::min({ ends, w / 2, target.width() / 2 }));
    painter.drawPixmap(
        QRect(target.left(), target.top(), end, target.height()), picture, QRect(0, 0, end, h));
    painter.drawPixmap(QRect(target.left() + end, target.top(), target.width() - 2 * end, target.height()),
        picture, QRect(end, 0, w - 2 * end, h));
    painter.drawPixmap(QRect(target.right() + 1 - end, target.top(), end, target.height()), picture,
        QRect(w - end, 0, end, h));
}

QPixmap DefaultBarPicture(bool progress)
{
    QPixmap picture(16, 5);
    picture.fill(progress ? QColor(0x2f, 0x8f, 0xd8) : QColor(0xb0, 0xb0, 0xb0));
    return picture;
}

void SetColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void PaintBackground(QWidget *widget, const QColor &colour)
{
    SetColour(widget, QPalette::Window, colour);
    widget->setAutoFillBackground(true);
}

} // namespace Qurel
