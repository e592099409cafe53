#pragma once
// The values that pass between the lesson keeper and whoever shows it (the window, qurelctl): the
// settings the keeper records by, and one snapshot of everything a view shows of a lesson.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Qurel {

// What the keeper needs of the settings to keep lessons.
struct KeeperSettings
{
    QString address; // the recorder
    int httpPort = 80;
    QString username;
    QString password; // plain text; only the keeper's process holds it
    QString savePath; // the recordings folder as set; empty: the default folder
    bool autoRec = true; // follow the recorder's notices (else the window's buttons start and stop)
    int titleTime = 5; // F5 / F6 commands' TtileEnable / CreditEnable
    int creditTime = 5;
    int maxLessonMinutes = 240; // a copy resumed after a crash ends after this long at the latest

    bool operator==(const KeeperSettings &other) const;
    bool operator!=(const KeeperSettings &other) const { return !(*this == other); }
};

// Where a keeper keeps its own files.
struct KeeperPaths
{
    QString journal; // the unfinished lesson, rewritten atomically at every change
    QString log; // the lesson log, bounded in size

    // A user's keeper: both in the per-user data folder ($XDG_DATA_HOME/ZEL_Qurel/).
    static KeeperPaths ForUser();
    // A system instance: both in stateFolder.
    static KeeperPaths InFolder(const QString &stateFolder);
};

// Everything a view shows of the keeper at one moment. Sent whole whenever a part of it changes.
struct KeeperSnapshot
{
    QString link; // the control connection: "closed", "connecting", "timed-out", "connected",
                  // "disconnected", or "manual" when the keeper does not follow notices
    QString linkText; // the connection's status text ("已成功连接到录播机", ...); empty: none yet
    bool linkTextVisible = false; // the text asks to be shown (a drop's text updates a hidden line)
    QString state = QStringLiteral("idle"); // "idle", "starting", "recording", "stopping"
    QString title; // of the lesson being copied
    QString file; // its MP4 while recording
    QDateTime startTime; // when its copy began (invalid when idle)
    QString warning; // about the growing file or the lost link, empty when all is well
    QString retry; // why the start is being tried again, empty when no retry is waiting
    QStringList unfinishedFiles; // MP4s the keeper is still writing or finishing
    bool settled = true; // idle, and every lesson has its files

    bool recording() const { return state == QLatin1String("recording") || state == QLatin1String("stopping"); }
    bool operator==(const KeeperSnapshot &other) const;
    bool operator!=(const KeeperSnapshot &other) const { return !(*this == other); }
};

} // namespace Qurel
