// TfrmMain: the control channel to the recorder.
#include "MainForm.h"

void TfrmMain::ConnectRecorder() { }
