// TfrmMain: the settings command. Delete, save as and upload are RecordingCommands'.
#include "MainForm.h"

#include "Configs.h"
#include "MessageBoxes.h"
#include "SettingForm.h"

#include <QPushButton>

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
