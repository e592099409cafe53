// TfrmMain: the recording management commands (delete, save as, settings).
#include "MainForm.h"

#include "Configs.h"
#include "CopyProgress.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "RecordingFiles.h"
#include "RecordingsStore.h"
#include "SettingForm.h"
#include "UserMessages.h"
#include "VlcPlayer.h"

#include <QFileInfo>
#include <QPushButton>

namespace {
const QString &kNothingTicked = Qurel::kNothingTickedMsg;
} // namespace

Qurel::RecordingList TfrmMain::CheckedRecordingFrames() const
{
    return FSegments.ticked();
}

QStringList TfrmMain::GetCheckedNums() const
{
    QStringList numbers;
    for (int index : FSegments.tickedIndexes())
        numbers << QString::number(index + 1);
    return numbers;
}

void TfrmMain::btnDelClick()
{
    // The ticked recordings as they are now: a notice that reloads the list while the question is
    // open must not turn the answer onto other recordings.
    const Qurel::RecordingList ticked = CheckedRecordingFrames();
    const QStringList numbers = GetCheckedNums();
    if (ticked.isEmpty()) {
        Qurel::ShowMsg(this, kNothingTicked);
        return;
    }
    if (!Qurel::AskMsg(this, QStringLiteral("确定要删除勾选中的视频吗？")))
        return;
    FUi.plyMain->Stop();
    // Highest number first, so the messages come in that order too.
    for (int i = int(ticked.size()) - 1; i >= 0; --i) {
        const Qurel::Recording &recording = ticked.at(i);
        // A lesson that began recording meanwhile into a listed name is never deleted.
        if (Qurel::SameAsAny(recording.videoPath, LiveVideos()))
            continue;
        const Qurel::DeleteStep failed
            = Qurel::DeleteRecordingFiles(recording.videoPath, recording.thumbnailPath, recording.infoPath);
        if (failed != Qurel::DeleteStep::None)
            Qurel::ShowMsg(this, Qurel::DeleteFailureText(failed, numbers.at(i).toInt()));
    }
    LoadPicList();
    if (FCurVideoNum == 0)
        FUi.pnlVideoPic->hide();
}

void TfrmMain::btnSaveAsClick()
{
    if (!FCurPicFra || !FCurPicFra->HasRecording() || !FSegments.hasCurrent())
        return;
    // Taken before the file dialog opens; a reload meanwhile does not change what is copied.
    const Qurel::Recording recording = FSegments.currentRecording();
    const QString source = recording.videoPath;
    const QString target = Qurel::ChooseSaveFile(
        this, QFileInfo(source).fileName(), QStringLiteral(".mp4 (*.mp4)"), QStringLiteral("mp4"));
    // A copy onto the recording itself, however spelled, would only destroy it.
    if (target.isEmpty() || target == source || Qurel::IsSameFile(target, source))
        return;
    if (!Qurel::CheckDiskSpace(source, target, this))
        return;
    const Qurel::CopyResult result
        = Qurel::CopyWithProgress(this, Qurel::SaveAsCopies(source, recording.thumbnailPath, target));
    if (!result.cancelled && !result.ok())
        Qurel::ShowMsg(this, Qurel::SaveAsFailureText(result));
}

void TfrmMain::btnSettingClick()
{
    TfrmSetting dialog(this);
    // During a recording the dialog only shows the settings.
    if (FRecording())
        dialog.btnSave->setEnabled(false);
    const QString oldPath = SDKConfig.SavePath;
    if (dialog.exec() != QDialog::Accepted)
        return;

    const Qurel::SettingFields fields = dialog.Fields();
    // A lesson may have begun while the dialog was open: moving to another recorder now would
    // drop its notices, and the running lesson's stop with them.
    if (FKeeper->snapshot().state != QLatin1String("idle") && Qurel::ChangesRecorder(SDKConfig, fields)) {
        Qurel::ShowMsg(this, QStringLiteral("正在录制中，不能更改录播机的地址、端口或用户，请在录制结束后再修改！"));
        return;
    }
    Qurel::ApplySettingFields(SDKConfig, fields);
    const Qurel::ConfigSaveResult saved = SDKConfig.Save();
    if (!saved.ok)
        Qurel::ShowMsg(this, saved.error);
    // The new values are in use either way; the keeper reconnects when the address changed.
    ApplyKeeperSettings();
    if (SDKConfig.SavePath != oldPath)
        LoadPicList();
}
