// The recordings store's operations that tell the user about a failure.
#include "MessageBoxes.h"
#include "RecordingsStore.h"

#include <QApplication>
#include <QFileInfo>

namespace Qurel {

namespace {
    // These boxes belong to the application's main window, whoever asks.
    QWidget *boxOwner(QWidget *owner)
    {
        return owner ? owner : QApplication::activeWindow();
    }
} // namespace

bool WriteInfoFile(const QString &path, const QString &timeText, QWidget *owner)
{
    if (SaveInfoFile(path, timeText))
        return true;
    ShowMsg(boxOwner(owner), InfoFileFailedText());
    return false;
}

void CompleteSideFiles(Recording &recording, QWidget *owner)
{
    if (!recording.thumbnailPath.isEmpty() && !QFileInfo::exists(recording.thumbnailPath))
        CopyNoPicture(recording.thumbnailPath);
    if (recording.infoPath.isEmpty())
        return;
    if (!QFileInfo::exists(recording.infoPath))
        WriteInfoFile(recording.infoPath,
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), owner);
    recording.guid = ReadInfoFileGuid(recording.infoPath);
}

bool CheckDiskSpace(const QString &source, const QString &destination, QWidget *owner)
{
    const DiskSpaceCheck check = CheckDiskSpaceQuiet(source, destination);
    if (!check.fits)
        ShowMsg(boxOwner(owner), check.message);
    return check.fits;
}

} // namespace Qurel
