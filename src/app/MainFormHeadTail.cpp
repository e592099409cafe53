// TfrmMain: the head and tail slides command.
#include "MainForm.h"

void TfrmMain::btnHeadTailClick() { }
