// TfrmMain: the local recording workflow and the recorder's F5/F6 hot keys.
#include "MainForm.h"

void TfrmMain::StartLocalRecording() { }

void TfrmMain::StopLocalRecording() { }

void TfrmMain::HotKeyRecord(int virtualKey)
{
    Q_UNUSED(virtualKey);
}
