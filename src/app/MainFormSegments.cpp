// TfrmMain: the segment list and its playback. The segment column shows the six newest recordings,
// the player area plays the current one; the window joins them and answers for the missing file.
#include "MainForm.h"

#include "ClickableImage.h"
#include "MessageBoxes.h"

void TfrmMain::BuildPlayerControls()
{
    Qurel::PlayerArea *player = FUi.pnlPlayer;
    connect(FUi.pnl2, &Qurel::SegmentColumn::frameChosen, player, [player](TPicFrame *frame) {
        if (frame->HasRecording())
            player->Cue(frame->imgMain->pixmap());
        else
            player->CueNothing();
    });
    connect(player, &Qurel::PlayerArea::playClicked, this, [this] { PlayCurrent(0); });
    FCommands = new Qurel::RecordingCommands(this, *FUi.pnl2, *player, [this] { return LiveVideos(); });
}

QStringList TfrmMain::LiveVideos() const
{
    return FKeeper ? FKeeper->snapshot().unfinishedFiles : QStringList();
}

void TfrmMain::LoadPicList()
{
    FUi.pnl2->LoadPicList(LiveVideos());
}

void TfrmMain::PlayCurrent(qint64 position)
{
    if (!FUi.pnl2->HasCurrentRecording())
        return;
    if (!FUi.pnlPlayer->Play(FUi.pnl2->Segments().currentRecording().videoPath, position)) {
        Qurel::ShowMsg(this, QStringLiteral("视频文件不存在，无法播放！"));
        LoadPicList();
    }
}
