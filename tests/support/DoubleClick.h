#pragma once
// A double-click as the window system delivers it: both clicks go through the
// widget's native window, and Qt itself pairs them into a double-click.

#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace QurelTest {

inline void DoubleClickThroughWindow(QWidget *widget, QPoint at)
{
    QWidget *native = widget->windowHandle() ? widget : widget->nativeParentWidget();
    QTest::mouseDClick(native->windowHandle(), Qt::LeftButton, {}, widget->mapTo(native, at));
}

} // namespace QurelTest
