// The main window's layout building blocks.
#include "LayoutParts.h"

#include "ClientFont.h"
#include "SkinPainting.h"

#include <QFrame>
#include <QLabel>

namespace Qurel {

QWidget *Panel(QWidget *parent, const QRect &geometry, const QString &name)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QFrame *Line(QWidget *parent, const QRect &geometry, const QString &name)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    PaintBackground(frame, kSilver);
    return frame;
}

QLabel *NamedLabel(QWidget *parent, const QString &text, const QString &name)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(name);
    return widget;
}

QLabel *ColumnHeading(QWidget *parent, const QString &text, const QString &name)
{
    QLabel *heading = NamedLabel(parent, text, name);
    heading->setGeometry(3, 24, 41, 21);
    heading->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    heading->setFont(ClientFont(16, true));
    SetColour(heading, QPalette::WindowText, kTopColour);
    return heading;
}

QPixmap SkinPicture(const QString &name)
{
    return QPixmap(QStringLiteral(":/skin/%1.png").arg(name));
}

} // namespace Qurel
