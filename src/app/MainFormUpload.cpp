// TfrmMain: the upload command.
#include "MainForm.h"

#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "UploadForm.h"
#include "UserMessages.h"

#include <QCheckBox>

QStringList TfrmMain::GetCheckedNums() const
{
    QStringList numbers;
    for (int n = 1; n <= 6; ++n) {
        const TPicFrame *frame = GetPicFrame(n);
        if (frame && frame->chkSel->isChecked())
            numbers << frame->FIndex;
    }
    return numbers;
}

void TfrmMain::btnUploadClick()
{
    // A frame emptied by a reload keeps its hidden tick and the number "-1";
    // it has nothing to upload.
    const QList<const TPicFrame *> frames = CheckedRecordingFrames();
    if (frames.isEmpty()) {
        Qurel::ShowMsg(this, Qurel::kNothingTickedMsg);
        return;
    }
    if (!frmUpload)
        frmUpload = new TfrmUpload(this);
    frmUpload->FileLst.clear();
    for (const TPicFrame *frame : frames) {
        TFileInfo info;
        info.FGuid = frame->FGuid;
        info.FVideoName = frame->FVideoPath;
        info.FPicName = frame->FPicPath;
        frmUpload->FileLst << info;
    }
    if (frmUpload->exec() == QDialog::Accepted)
        Qurel::ShowMsg(this, QStringLiteral("上传成功！"));
    else if (!frmUpload->ErrorString.isEmpty())
        Qurel::ShowMsg(this, frmUpload->ErrorString);
}
