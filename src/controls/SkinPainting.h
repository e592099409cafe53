#pragma once
// Drawing helpers shared by the skinned controls.

#include <QPixmap>

class QPainter;

namespace Qurel {

// Draws the picture into target keeping `ends` pixels at each side unscaled
// and stretching the middle (both ends shrink when target is narrower).
void DrawThreeSlice(QPainter &painter, const QRect &target, const QPixmap &picture, int ends);

// The neutral built-in pictures of a bar without its own: "bar_base" (track)
// and "bar_normal" (filled part).
QPixmap DefaultBarPicture(bool progress);

} // namespace Qurel
