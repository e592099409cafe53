// TfrmMain: the head and tail slides command.
#include "MainForm.h"

#include "MessageBoxes.h"
#include "PPTEditForm.h"
#include "PowerPointReady.h"
#include "PresentationHost.h"

#include <QFileInfo>

void TfrmMain::btnHeadTailClick()
{
    if (!IsPowerPointReady()) {
        Qurel::ShowMsg(this, Qurel::PresentationFailureText(Qurel::PresentationFailure::Unavailable));
        return;
    }
    if (!QFileInfo(FPPTFile).isFile()) {
        Qurel::ShowMsg(this, QStringLiteral("程序同目录下未找到模板文件(temp.ppt)!"));
        return;
    }
    hide();
    if (!frmPPTEdit) {
        frmPPTEdit = new TfrmPPTEdit(this);
        connect(frmPPTEdit, &TfrmPPTEdit::ShowMainWindow, this, &TfrmMain::ShowAgainMessage);
    }
    try {
        frmPPTEdit->LoadPPTFile(FPPTFile);
    } catch (const Qurel::PresentationError &e) {
        // The main window is hidden by now: closing the editor brings it back,
        // so the user is never left without a window.
        frmPPTEdit->CloseAfterFailedLoad();
        Qurel::ShowMsg(this, QStringLiteral("打开模板文件(temp.ppt)失败！\n") + e.message());
        return;
    }
    frmPPTEdit->show();
}
