// TfrmMain: the recording management commands (delete, save as, settings).
#include "MainForm.h"

void TfrmMain::btnDelClick() { }

void TfrmMain::btnSaveAsClick() { }

void TfrmMain::btnSettingClick() { }
