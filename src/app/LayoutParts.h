#pragma once
// The small building blocks of the main window's layout, shared by the form and the components it
// holds (player area, segment column): named panels, 1 px lines, labels, skin pictures, the colours.

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QWidget;

namespace Qurel {

inline const QColor kTopColour(0x14, 0x6F, 0xA4); // title bar, headings, the frames' right strip
inline const QColor kSilver(0xC0, 0xC0, 0xC0);

// The two columns' common rows: the heading above, the button row below.
inline constexpr int kHeaderHeight = 43;
inline constexpr int kBottomRow = 36;

QWidget *Panel(QWidget *parent, const QRect &geometry, const QString &name);
// A 1 px silver line (the form's shapes).
QFrame *Line(QWidget *parent, const QRect &geometry, const QString &name);
QLabel *NamedLabel(QWidget *parent, const QString &text, const QString &name);
// A column's heading ("回放", "片段"): right-aligned, bold, in the title bar's blue.
QLabel *ColumnHeading(QWidget *parent, const QString &text, const QString &name);
// The built-in picture ":/skin/<name>.png".
QPixmap SkinPicture(const QString &name);

} // namespace Qurel
