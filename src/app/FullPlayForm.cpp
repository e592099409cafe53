#include "FullPlayForm.h"

#include "SkinPainting.h"
#include "UserMessages.h"

TfrmFullPlay *frmFullPlay = nullptr;

TfrmFullPlay::TfrmFullPlay(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(Qurel::kClientCaption);
    Qurel::PaintBackground(this, Qt::black);
}
