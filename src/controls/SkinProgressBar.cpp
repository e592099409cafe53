#include "SkinProgressBar.h"

#include "SkinPainting.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

TMlSkinProgressBar::TMlSkinProgressBar(QWidget *parent)
    : QWidget(parent)
    , Bar_Background(Qurel::DefaultBarPicture(false))
    , Bar_Progress(Qurel::DefaultBarPicture(true))
{
    resize(150, 17);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    FRepeat.setSingleShot(false);
    connect(&FRepeat, &QTimer::timeout, this, &TMlSkinProgressBar::RepeatTrackPress);
}

void TMlSkinProgressBar::SetMinValue(int value)
{
    FMinValue = value;
    if (FValue < FMinValue)
        FValue = FMinValue;
    update();
}

void TMlSkinProgressBar::SetMaxValue(int value)
{
    FMaxValue = value;
    if (FValue > FMaxValue)
        FValue = FMaxValue;
    update();
}

void TMlSkinProgressBar::SetValue(int value)
{
    StoreValue(value, false);
}

void TMlSkinProgressBar::StoreValue(int value, bool alwaysNotify)
{
    const int clamped = qBound(FMinValue, value, qMax(FMinValue, FMaxValue));
    if (clamped == FValue && !alwaysNotify)
        return;
    FValue = clamped;
    update();
    Notify();
}

void TMlSkinProgressBar::Notify()
{
    if (FUpdateCount == 0)
        emit OnChanged();
}

void TMlSkinProgressBar::EndUpdate()
{
    if (FUpdateCount > 0)
        --FUpdateCount;
}

int TMlSkinProgressBar::FilledWidth() const
{
    const qint64 range = qint64(FMaxValue) - FMinValue;
    if (range <= 0)
        return 0;
    return int(std::lround(double(qint64(FValue) - FMinValue) / double(range) * width()));
}

QRect TMlSkinProgressBar::ThumbRect() const
{
    const QSize size = ThumbPicture().size();
    int left = FilledWidth() + TrackButton.Offset - size.width();
    if (TrackButton.AlwaysShow || ShowsHot())
        left = qBound(0, left, qMax(0, width() - size.width()));
    return QRect(QPoint(left, (height() - size.height()) / 2), size);
}

int TMlSkinProgressBar::ValueAt(double x) const
{
    const QRect track = rect().adjusted(1, 1, -1, -1);
    const qint64 range = qint64(FMaxValue) - FMinValue;
    if (range <= 0 || track.width() <= 0)
        return FMinValue;
    const double fraction = (x - track.left()) / double(track.width());
    const double value = FMinValue + fraction * double(range);
    return int(qBound<double>(FMinValue, std::round(value), FMaxValue));
}

void TMlSkinProgressBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!Bar_Background.isNull()) {
        const int h = Bar_Background.height();
        painter.drawPixmap(QRect(0, (height() - h) / 2, width(), h), Bar_Background);
    }
    const int filled = FilledWidth();
    if (!Bar_Progress.isNull() && filled > 0) {
        const int h = Bar_Progress.height();
        Qurel::DrawThreeSlice(
            painter, QRect(0, (height() - h) / 2, filled, h), Bar_Progress, BarLeftRightSize);
    }
    if (TrackButton.Visible && !ThumbPicture().isNull())
        painter.drawPixmap(ThumbRect().topLeft(), ThumbPicture());
}

int TMlSkinProgressBar::PressedValue(int x) const
{
    return FPress == Press::Drag ? ValueAt(x - FDragOffset) : ValueAt(x);
}

void TMlSkinProgressBar::mousePressEvent(QMouseEvent *event)
{
    if (!TrackButton.Visible || event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    FPointerX = event->position().toPoint().x();
    const QRect thumb = ThumbRect();
    if (thumb.contains(event->position().toPoint())) {
        FPress = Press::Drag;
        FDragOffset = event->position().x() - (thumb.left() + thumb.width() / 2.0);
        return;
    }
    FPress = Press::Track;
    FTrackSide = FPointerX < thumb.center().x() ? -1 : 1;
    StoreValue(ValueAt(FPointerX), false);
    FRepeat.start(200);
}

void TMlSkinProgressBar::RepeatTrackPress()
{
    if (!PressCanContinue())
        return EndPress();
    FRepeat.setInterval(100);
    const int side = FPointerX < ThumbRect().center().x() ? -1 : 1;
    if (side == FTrackSide)
        StoreValue(ValueAt(FPointerX), false);
}

void TMlSkinProgressBar::mouseMoveEvent(QMouseEvent *event)
{
    FPointerX = event->position().toPoint().x();
    if (FPress == Press::Drag)
        StoreValue(PressedValue(FPointerX), true);
}

void TMlSkinProgressBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (FPress == Press::None || event->button() != Qt::LeftButton)
        return;
    FRepeat.stop();
    const int value = PressedValue(event->position().toPoint().x());
    FPress = Press::None;
    StoreValue(value, false);
}

namespace {
// -1 or +1 for the keys that step the value, 0 for any other key.
int keyStep(const QKeyEvent *event)
{
    const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        return -1;
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        return 1;
    case Qt::Key_Minus:
        return keypad ? -1 : 0;
    case Qt::Key_Plus:
        return keypad ? 1 : 0;
    default:
        return 0;
    }
}
} // namespace

void TMlSkinProgressBar::keyPressEvent(QKeyEvent *event)
{
    if (!TrackButton.Visible)
        return QWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Home)
        return SetValue(FMinValue);
    if (event->key() == Qt::Key_End)
        return SetValue(FMaxValue);
    const int step = keyStep(event);
    if (step == 0)
        return QWidget::keyPressEvent(event);
    if ((step < 0 && FValue > FMinValue) || (step > 0 && FValue < FMaxValue))
        SetValue(FValue + step);
}

void TMlSkinProgressBar::EndPress()
{
    FRepeat.stop();
    FPress = Press::None;
}

bool TMlSkinProgressBar::PressCanContinue() const
{
    // A modal dialog or a popup takes the mouse; the bar's own window may be
    // modal itself (the full-screen player).
    const QWidget *modal = QApplication::activeModalWidget();
    return isVisible() && isEnabled() && (!modal || modal == window()) && !QApplication::activePopupWidget();
}

bool TMlSkinProgressBar::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::UngrabMouse:
    case QEvent::WindowDeactivate:
    case QEvent::WindowBlocked:
        EndPress();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TMlSkinProgressBar::hideEvent(QHideEvent *event)
{
    EndPress();
    QWidget::hideEvent(event);
}

void TMlSkinProgressBar::focusOutEvent(QFocusEvent *event)
{
    EndPress();
    QWidget::focusOutEvent(event);
}

void TMlSkinProgressBar::enterEvent(QEnterEvent *)
{
    FHover = true;
    update();
}

void TMlSkinProgressBar::leaveEvent(QEvent *)
{
    FHover = false;
    update();
}
