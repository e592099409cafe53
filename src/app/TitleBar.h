#pragma once
// TitleBar: the borderless main window's title bar (pnlTop): the logo, which drags the window,
// and the minimise and close buttons.

#include <QRect>
#include <QWidget>

class QToolButton;

namespace Qurel {
class ClickableImage;

class TitleBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TitleBar)

public:
    TitleBar(QWidget *form, const QRect &geometry);

    // ---- Handlers; each acts on the window the bar belongs to -----------------------------------
    void btnMinClick();
    void imgLogoMouseDown();
    void btnCloseClick();

private:
    ClickableImage *imgLogo = nullptr;
    QToolButton *btnMin = nullptr;
    QToolButton *btnClose = nullptr;
};

} // namespace Qurel
