#pragma once
// One recording as the recordings folder knows it: the video, its thumbnail and information
// file beside it, the GUID the information file holds, its title and start time.

#include <QDateTime>
#include <QList>
#include <QString>

namespace Qurel {

struct Recording
{
    QString videoPath; // full path of the ".mp4"
    QString thumbnailPath; // <folder>/Image/<base>.jpg
    QString infoPath; // <folder>/Image/<base>.axt
    QString guid; // line 1 of the information file; empty while it has none
    QString title; // the file's base name
    QDateTime startTime; // creation time of the video file, local time

    bool operator==(const Recording &other) const
    {
        return videoPath == other.videoPath && thumbnailPath == other.thumbnailPath
            && infoPath == other.infoPath && guid == other.guid && title == other.title
            && startTime == other.startTime;
    }
};

using RecordingList = QList<Recording>;

} // namespace Qurel
