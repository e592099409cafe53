#include "FullPlayForm.h"

TfrmFullPlay *frmFullPlay = nullptr;

TfrmFullPlay::TfrmFullPlay(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Qurel助手"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
}
