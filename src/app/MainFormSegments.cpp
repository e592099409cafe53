// TfrmMain: the segment list and playback.
#include "MainForm.h"

// Frame `number` of the segment list, made inside pnlPicList. Until the thumbnail frame takes its
// place this is a plain panel with its 34 px right-hand strip "pnlRight", hidden while empty.
TPicFrame *TfrmMain::CreatePicFrame(int number)
{
    auto *frame = new TPicFrame(pnlPicList);
    frame->setObjectName(QStringLiteral("fraPicture%1").arg(number));
    frame->setGeometry(0, 0, pnlPicList->width(), 74);
    frame->setAutoFillBackground(true);
    auto *right = new QWidget(frame);
    right->setObjectName(QStringLiteral("pnlRight"));
    right->setGeometry(frame->width() - 34, 0, 34, frame->height());
    right->setAutoFillBackground(true);
    right->hide();
    return frame;
}

void TfrmMain::LoadPicList() { }

void TfrmMain::PlayCurrent(qint64 position)
{
    Q_UNUSED(position);
}
