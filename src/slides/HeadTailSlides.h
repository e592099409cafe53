#pragma once
// The head and tail slides every template must have: slide 1 is the head
// (the recording's opening title), slide 2 the tail (its closing credits).

#include <QString>

namespace Qurel {

class Presentation;

inline const QString kHeadTitleText = QStringLiteral("片头标题");
inline const QString kHeadSpeakerText = QStringLiteral("主讲人");
inline const QString kTailTitleText = QStringLiteral("结束");

// Adds what is missing: to a presentation without slides a title slide
// reading "片头标题" and "主讲人"; to one with a single slide a title slide
// reading "结束". Returns true when the presentation was changed.
bool AddMissingHeadTailSlides(Presentation &presentation);

} // namespace Qurel
