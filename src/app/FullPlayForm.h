#pragma once
// TfrmFullPlay: the borderless black full-screen window that the player area moves into.
// It has no content of its own; it lives for the whole run, hidden until used.

#include <QDialog>

class TfrmFullPlay : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmFullPlay(QWidget *parent = nullptr);
};

// The full-screen window of the running program (set by the program entry).
extern TfrmFullPlay *frmFullPlay;
