#pragma once
// A picture that reports clicks and the pointer coming, going and pressing,
// like the images of the main window and of the thumbnail frames.

#include <QLabel>

namespace Qurel {

class ClickableImage : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableImage(QWidget *parent = nullptr);

signals:
    void clicked();
    void mouseEntered();
    void mouseLeft();
    void mousePressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;

private:
    bool m_pressed = false;
};

} // namespace Qurel
