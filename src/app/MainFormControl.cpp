// TfrmMain: the control channel to the recorder. The lesson keeper holds the connection and reads
// the notices; the window hands it the settings and shows its texts.
#include "MainForm.h"

#include "Configs.h"
#include "KeeperSettingsFrom.h"

#include <QLabel>

void TfrmMain::ApplyKeeperSettings()
{
    Qurel::KeeperSettings settings = Qurel::KeeperSettingsFrom(SDKConfig);
    settings.autoRec = FAutoMode; // the mode stays as the window started in it
    FKeeper->applySettings(settings);
}

void TfrmMain::ShowConnectionStatus(const QString &text, bool makeVisible)
{
    // While a lesson records, its own line holds the label.
    if (!FKeeper || FKeeper->snapshot().state != QLatin1String("idle"))
        return;
    FUi.lblStatus->setText(text);
    FUi.lblStatus->adjustSize();
    if (makeVisible)
        FUi.lblStatus->show();
}

Qurel::ClientStatus TfrmMain::Status() const
{
    const Qurel::KeeperSnapshot &lesson = FKeeper->snapshot();
    Qurel::ClientStatus status;
    status.link = lesson.link;
    status.state = lesson.state;
    status.title = lesson.title;
    status.file = lesson.file;
    if (lesson.startTime.isValid())
        status.elapsedSeconds = lesson.startTime.secsTo(QDateTime::currentDateTime());
    return status;
}
