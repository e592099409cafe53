// TfrmMain: the segment list and playback.
#include "MainForm.h"

void TfrmMain::LoadPicList() { }

void TfrmMain::PlayCurrent(qint64 position)
{
    Q_UNUSED(position);
}
