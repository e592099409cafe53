// TfrmMain: the recording management commands (delete, save as, settings).
#include "MainForm.h"

#include "Configs.h"
#include "CopyProgress.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "RecordingFiles.h"
#include "RecordingsStore.h"
#include "SettingForm.h"
#include "UserMessages.h"
#include "VlcPlayer.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPushButton>

namespace {
const QString &kNothingTicked = Qurel::kNothingTickedMsg;
} // namespace

QList<const TPicFrame *> TfrmMain::CheckedRecordingFrames() const
{
    QList<const TPicFrame *> frames;
    for (const QString &number : GetCheckedNums()) {
        const TPicFrame *frame = GetPicFrame(number.toInt());
        if (frame && frame->HasRecording())
            frames << frame;
    }
    return frames;
}

void TfrmMain::btnDelClick()
{
    const QList<const TPicFrame *> frames = CheckedRecordingFrames();
    if (frames.isEmpty()) {
        Qurel::ShowMsg(this, kNothingTicked);
        return;
    }
    if (!Qurel::AskMsg(this, QStringLiteral("确定要删除勾选中的视频吗？")))
        return;
    FUi.plyMain->Stop();
    // Highest number first, so the messages come in that order too.
    for (auto it = frames.crbegin(); it != frames.crend(); ++it) {
        const TPicFrame *frame = *it;
        const Qurel::DeleteStep failed
            = Qurel::DeleteRecordingFiles(frame->FVideoPath, frame->FPicPath, frame->FTxtPath);
        if (failed != Qurel::DeleteStep::None)
            Qurel::ShowMsg(this, Qurel::DeleteFailureText(failed, frame->FIndex.toInt()));
    }
    LoadPicList();
    if (FCurVideoNum == 0)
        FUi.pnlVideoPic->hide();
}

void TfrmMain::btnSaveAsClick()
{
    const TPicFrame *frame = FCurPicFra;
    if (!frame || !frame->HasRecording())
        return;
    const QString source = frame->FVideoPath;
    const QString target = Qurel::ChooseSaveFile(
        this, QFileInfo(source).fileName(), QStringLiteral(".mp4 (*.mp4)"), QStringLiteral("mp4"));
    // A copy onto the recording itself, however spelled, would only destroy it.
    if (target.isEmpty() || target == source || Qurel::IsSameFile(target, source))
        return;
    if (!Qurel::CheckDiskSpace(source, target, this))
        return;
    const Qurel::CopyResult result
        = Qurel::CopyWithProgress(this, Qurel::SaveAsCopies(source, frame->FPicPath, target));
    if (!result.cancelled && !result.ok())
        Qurel::ShowMsg(this, Qurel::SaveAsFailureText(result));
}

void TfrmMain::btnSettingClick()
{
    TfrmSetting dialog(this);
    // During a recording the dialog only shows the settings.
    if (FRecording())
        dialog.btnSave->setEnabled(false);
    const QString oldAddress = SDKConfig.Address;
    const QString oldPath = SDKConfig.SavePath;
    if (dialog.exec() != QDialog::Accepted)
        return;

    const Qurel::SettingFields fields = dialog.Fields();
    // A lesson may have begun while the dialog was open: moving to another recorder now would
    // drop its notices, and the running lesson's stop with them.
    if (FLesson->state() != Qurel::LessonRecorder::State::Idle && Qurel::ChangesRecorder(SDKConfig, fields)) {
        Qurel::ShowMsg(this, QStringLiteral("正在录制中，不能更改录播机的地址、端口或用户，请在录制结束后再修改！"));
        return;
    }
    Qurel::ApplySettingFields(SDKConfig, fields);
    const Qurel::ConfigSaveResult saved = SDKConfig.Save();
    if (!saved.ok)
        Qurel::ShowMsg(this, saved.error);
    // The new values are in use either way; the texts compare exactly.
    if (SDKConfig.Address != oldAddress)
        ConnectRecorder();
    if (SDKConfig.SavePath != oldPath)
        LoadPicList();
}
