#include "HeadTailSlides.h"

#include "PresentationHost.h"

namespace Qurel {

bool AddMissingHeadTailSlides(Presentation &presentation)
{
    bool changed = false;
    if (presentation.slidesCount() == 0) {
        const auto head = presentation.addSlide(1, SlideLayout::Title);
        const int shapes = head->shapesCount();
        if (shapes >= 1)
            head->shape(1)->setText(kHeadTitleText);
        if (shapes >= 2)
            head->shape(2)->setText(kHeadSpeakerText);
        changed = true;
    }
    if (presentation.slidesCount() == 1) {
        const auto tail = presentation.addSlide(2, SlideLayout::Title);
        if (const auto title = tail->titleShape())
            title->setText(kTailTitleText);
        changed = true;
    }
    return changed;
}

} // namespace Qurel
