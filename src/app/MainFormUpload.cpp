// TfrmMain: the upload command.
#include "MainForm.h"

void TfrmMain::btnUploadClick() { }
