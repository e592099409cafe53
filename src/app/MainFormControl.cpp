// TfrmMain: the control channel to the recorder. Qurel::RecorderLink holds the connection and reads
// the notices; the window shows its texts and hands the notices to the lesson.
#include "MainForm.h"

#include "Configs.h"

#include <QLabel>

void TfrmMain::ConnectRecorder()
{
    FLink->connectTo(SDKConfig.Address);
}

void TfrmMain::ShowConnectionStatus(const QString &text, bool makeVisible)
{
    // While a lesson records, its own line holds the label.
    if (!FLesson || FLesson->state() != Qurel::LessonRecorder::State::Idle)
        return;
    FUi.lblStatus->setText(text);
    FUi.lblStatus->adjustSize();
    if (makeVisible)
        FUi.lblStatus->show();
}

Qurel::ClientStatus TfrmMain::Status() const
{
    Qurel::ClientStatus status;
    status.link = FAutoMode || FLink->state() != Qurel::RecorderLink::State::Closed
        ? QString::fromLatin1(Qurel::RecorderLink::StateName(FLink->state()))
        : QStringLiteral("manual");
    status.state = QString::fromLatin1(Qurel::LessonRecorder::StateName(FLesson->state()));
    status.title = FLesson->title();
    status.file = FLesson->fileName();
    if (FLesson->startTime().isValid())
        status.elapsedSeconds = FLesson->startTime().secsTo(QDateTime::currentDateTime());
    return status;
}
