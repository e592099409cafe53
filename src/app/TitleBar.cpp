// TitleBar: logo, minimise and close.
#include "TitleBar.h"

#include "ClickableImage.h"
#include "LayoutParts.h"
#include "SkinPainting.h"

#include <QToolButton>
#include <QWindow>

namespace Qurel {

namespace {
// A flat picture button; the "_hot" picture shows under the mouse.
QToolButton *titleButton(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    QIcon icon(SkinPicture(name));
    icon.addPixmap(SkinPicture(name + QStringLiteral("_hot")), QIcon::Active);
    button->setIcon(icon);
    button->setIconSize(geometry.size());
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    return button;
}
} // namespace

TitleBar::TitleBar(QWidget *form, const QRect &geometry)
    : QWidget(form)
{
    setObjectName(QStringLiteral("pnlTop"));
    setGeometry(geometry);
    PaintBackground(this, kTopColour);
    imgLogo = new ClickableImage(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(rect());
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setScaledContents(true);
    imgLogo->setPixmap(SkinPicture(QStringLiteral("logo")));
    btnMin = titleButton(this, QStringLiteral("btnMin"), QRect(922, 3, 23, 25));
    btnClose = titleButton(this, QStringLiteral("btnClose"), QRect(950, 3, 23, 25));
    btnMin->setToolTip(QStringLiteral("最小化"));
    btnClose->setToolTip(QStringLiteral("关闭"));
    connect(imgLogo, &ClickableImage::mousePressed, this, &TitleBar::imgLogoMouseDown);
    connect(btnMin, &QToolButton::clicked, this, &TitleBar::btnMinClick);
    connect(btnClose, &QToolButton::clicked, this, &TitleBar::btnCloseClick);
}

void TitleBar::btnMinClick()
{
    window()->showMinimized();
}

void TitleBar::imgLogoMouseDown()
{
    if (QWindow *handle = window()->windowHandle())
        handle->startSystemMove();
}

void TitleBar::btnCloseClick()
{
    // Every way of closing goes through the window's close handling.
    window()->close();
}

} // namespace Qurel
