#pragma once
// Reaches a window's components by their object names, as a user's tools would see them. A
// component the window lent to another window (the player area in full screen) is found there.

#include <QApplication>
#include <QObject>
#include <QWidget>

namespace QurelTest {

template <typename T = QWidget>
T *Part(const QObject &form, const char *name)
{
    T *part = form.findChild<T *>(QLatin1String(name));
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (part)
            break;
        part = window->findChild<T *>(QLatin1String(name));
    }
    if (!part)
        qFatal("no component %s", name);
    return part;
}

} // namespace QurelTest
