#include "SkinImageButton.h"

#include <QMouseEvent>
#include <QPainter>

QPixmap TSkinPictureStrip::Slice(int index) const
{
    if (Png.isNull() || Count <= 0 || index < 0 || index >= Count)
        return {};
    const int width = Png.width() / Count;
    return Png.copy(index * width, 0, width, Png.height());
}

TMlSkinImageButton::TMlSkinImageButton(QWidget *parent)
    : QWidget(parent)
{
    resize(75, 25);
    setAttribute(Qt::WA_Hover);
}

void TMlSkinImageButton::SetDown(bool down)
{
    if (FDown == down)
        return;
    FDown = down;
    update();
}

QPixmap TMlSkinImageButton::Picture(int stripIndex, const QPixmap &separate) const
{
    return Pictures.Active ? Pictures.Slice(stripIndex) : separate;
}

QPixmap TMlSkinImageButton::StatePicture() const
{
    if (!isEnabled())
        return Picture(Pictures.Disable, DisabledPicture);
    if (IsHot())
        return Picture(Pictures.Hot, HotPicture);
    if (IsPressed())
        return Picture(Pictures.Pressed, PressedPicture);
    return Picture(Pictures.Normal, NormalPicture);
}

void TMlSkinImageButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool pressed = isEnabled() && IsPressed();
    const QPixmap picture = StatePicture();
    if (!picture.isNull())
        painter.drawPixmap(ImageOffset + QPoint(pressed ? PressedOffset : 0, 0), picture);
    if (!CaptionVisible || Caption.isEmpty())
        return;
    QRect area = rect().translated(CaptionOffset);
    if (pressed)
        area.adjust(1, 0, 1, 1);
    painter.setFont(IsHot() ? HotFont : font());
    painter.setPen(CaptionColor);
    painter.drawText(area, Qt::AlignCenter | (WordWrap ? Qt::TextWordWrap : Qt::TextSingleLine), Caption);
}

void TMlSkinImageButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FDownBeforePress = FDown;
    FHeld = true;
    SetDown(true);
    update();
}

void TMlSkinImageButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !FHeld)
        return;
    FHeld = false;
    const bool over = rect().contains(event->position().toPoint());
    if (!over) {
        // A group button that was already selected stays selected.
        SetDown(GroupIndex != 0 && FDownBeforePress);
        update();
        return;
    }
    if (GroupIndex != 0)
        ReleaseGroup();
    else
        SetDown(false);
    update();
    emit OnClick();
}

void TMlSkinImageButton::ReleaseGroup()
{
    if (!parentWidget())
        return;
    const auto siblings
        = parentWidget()->findChildren<TMlSkinImageButton *>(QString(), Qt::FindDirectChildrenOnly);
    for (TMlSkinImageButton *other : siblings) {
        if (other != this && other->GroupIndex == GroupIndex)
            other->SetDown(false);
    }
}

void TMlSkinImageButton::enterEvent(QEnterEvent *)
{
    FHover = true;
    update();
}

void TMlSkinImageButton::leaveEvent(QEvent *)
{
    FHover = false;
    update();
}

void TMlSkinImageButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
