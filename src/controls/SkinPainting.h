#pragma once
// Drawing helpers shared by the skinned controls.

#include <QPalette>
#include <QPixmap>

class QPainter;
class QWidget;

namespace Qurel {

// Draws the picture into target keeping `ends` pixels at each side unscaled
// and stretching the middle (both ends shrink when target is narrower).
void DrawThreeSlice(QPainter &painter, const QRect &target, const QPixmap &picture, int ends);

// The neutral built-in pictures of a bar without its own: "bar_base" (track)
// and "bar_normal" (filled part).
QPixmap DefaultBarPicture(bool progress);

// Sets one colour of the widget's palette (text: QPalette::WindowText).
void SetColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

// Fills the widget's background with the colour.
void PaintBackground(QWidget *widget, const QColor &colour);

} // namespace Qurel
