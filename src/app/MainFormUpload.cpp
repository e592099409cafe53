// TfrmMain: the upload command.
#include "MainForm.h"

#include "MessageBoxes.h"
#include "UploadForm.h"
#include "UserMessages.h"

void TfrmMain::btnUploadClick()
{
    // Taken before the upload window opens; a reload meanwhile does not change what is sent.
    const Qurel::RecordingList ticked = CheckedRecordingFrames();
    if (ticked.isEmpty()) {
        Qurel::ShowMsg(this, Qurel::kNothingTickedMsg);
        return;
    }
    if (!frmUpload)
        frmUpload = new TfrmUpload(this);
    frmUpload->FileLst.clear();
    for (const Qurel::Recording &recording : ticked) {
        TFileInfo info;
        info.FGuid = recording.guid;
        info.FVideoName = recording.videoPath;
        info.FPicName = recording.thumbnailPath;
        info.FTxtName = recording.infoPath;
        info.FCreateDate = recording.startTime;
        frmUpload->FileLst << info;
    }
    if (frmUpload->exec() == QDialog::Accepted)
        Qurel::ShowMsg(this, QStringLiteral("上传成功！"));
    else if (!frmUpload->ErrorString.isEmpty())
        Qurel::ShowMsg(this, frmUpload->ErrorString);
}
