// RecordingCommands: delete, save as and upload.
#include "RecordingCommands.h"

#include "CopyProgress.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "PlayerArea.h"
#include "RecordingFiles.h"
#include "RecordingsStore.h"
#include "SegmentColumn.h"
#include "UploadForm.h"
#include "UserMessages.h"

#include <QFileInfo>

namespace Qurel {

RecordingCommands::RecordingCommands(
    QWidget *window, SegmentColumn &segments, PlayerArea &player, std::function<QStringList()> liveVideos)
    : QObject(window)
    , m_window(window)
    , m_segments(segments)
    , m_player(player)
    , m_liveVideos(std::move(liveVideos))
{
}

void RecordingCommands::btnDelClick()
{
    // The ticked recordings as they are now: a notice that reloads the list while the question is
    // open must not turn the answer onto other recordings.
    const RecordingList ticked = m_segments.CheckedRecordingFrames();
    const QStringList numbers = m_segments.GetCheckedNums();
    if (ticked.isEmpty()) {
        ShowMsg(m_window, kNothingTickedMsg);
        return;
    }
    if (!AskMsg(m_window, QStringLiteral("确定要删除勾选中的视频吗？")))
        return;
    m_player.Stop();
    // Highest number first, so the messages come in that order too.
    for (int i = int(ticked.size()) - 1; i >= 0; --i) {
        const Recording &recording = ticked.at(i);
        // A lesson that began recording meanwhile into a listed name is never deleted.
        if (SameAsAny(recording.videoPath, m_liveVideos()))
            continue;
        const DeleteStep failed
            = DeleteRecordingFiles(recording.videoPath, recording.thumbnailPath, recording.infoPath);
        if (failed != DeleteStep::None)
            ShowMsg(m_window, DeleteFailureText(failed, numbers.at(i).toInt()));
    }
    m_segments.LoadPicList(m_liveVideos());
    if (m_segments.CurVideoNum() == 0)
        m_player.HidePreview();
}

void RecordingCommands::btnSaveAsClick()
{
    if (!m_segments.HasCurrentRecording())
        return;
    // Taken before the file dialog opens; a reload meanwhile does not change what is copied.
    const Recording recording = m_segments.Segments().currentRecording();
    const QString source = recording.videoPath;
    const QString target = ChooseSaveFile(
        m_window, QFileInfo(source).fileName(), QStringLiteral(".mp4 (*.mp4)"), QStringLiteral("mp4"));
    // A copy onto the recording itself, however spelled, would only destroy it.
    if (target.isEmpty() || target == source || IsSameFile(target, source))
        return;
    if (!CheckDiskSpace(source, target, m_window))
        return;
    const CopyResult result
        = CopyWithProgress(m_window, SaveAsCopies(source, recording.thumbnailPath, target));
    if (!result.cancelled && !result.ok())
        ShowMsg(m_window, SaveAsFailureText(result));
}

void RecordingCommands::btnUploadClick()
{
    // Taken before the upload window opens; a reload meanwhile does not change what is sent.
    const RecordingList ticked = m_segments.CheckedRecordingFrames();
    if (ticked.isEmpty()) {
        ShowMsg(m_window, kNothingTickedMsg);
        return;
    }
    if (!frmUpload)
        frmUpload = new TfrmUpload(m_window);
    frmUpload->FileLst.clear();
    for (const Recording &recording : ticked) {
        TFileInfo info;
        info.FGuid = recording.guid;
        info.FVideoName = recording.videoPath;
        info.FPicName = recording.thumbnailPath;
        info.FTxtName = recording.infoPath;
        info.FCreateDate = recording.startTime;
        frmUpload->FileLst << info;
    }
    if (frmUpload->exec() == QDialog::Accepted)
        ShowMsg(m_window, QStringLiteral("上传成功！"));
    else if (!frmUpload->ErrorString.isEmpty())
        ShowMsg(m_window, frmUpload->ErrorString);
}

} // namespace Qurel
