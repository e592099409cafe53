// TfrmMain: the recording management commands (delete, save as, settings).
#include "MainForm.h"

#include "Configs.h"
#include "MessageBoxes.h"
#include "SettingForm.h"

#include <QPushButton>

void TfrmMain::btnDelClick() { }

void TfrmMain::btnSaveAsClick() { }

void TfrmMain::btnSettingClick()
{
    TfrmSetting dialog(this);
    // During a recording the dialog only shows the settings.
    if (FRecording)
        dialog.btnSave->setEnabled(false);
    const QString oldAddress = SDKConfig.Address;
    const QString oldPath = SDKConfig.SavePath;
    if (dialog.exec() != QDialog::Accepted)
        return;

    Qurel::ApplySettingFields(SDKConfig, dialog.Fields());
    const Qurel::ConfigSaveResult saved = SDKConfig.Save();
    if (!saved.ok)
        Qurel::ShowMsg(this, saved.error);
    // The new values are in use either way; the texts compare exactly.
    if (SDKConfig.Address != oldAddress)
        ConnectRecorder();
    if (SDKConfig.SavePath != oldPath)
        LoadPicList();
}
