#pragma once
// LessonKeeper: keeps every lesson the recorder records. It holds the recorder's control connection,
// the lesson state machine, the start retries, the journal that lets a restarted keeper pick a
// lesson up again, and the lesson log. Window-free: a view drives it through the slots below and
// shows what its signals report. It runs on a thread (or in a process) of its own, so nothing a
// window does delays a notice.

#include "KeeperTypes.h"
#include "LessonRecorder.h"
#include "RecorderLink.h"

#include <QObject>

#include <memory>

namespace Qurel {

class LessonKeeper final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LessonKeeper)

public:
    // What tests change: the relay's calls, the lesson's and the link's timings.
    struct Options
    {
        RelayCalls relay = RelayCalls::Library();
        LessonRecorder::Options lesson;
        RecorderLink::Options link;
        qint64 resumeWithinSecs = 600; // a keeper gone longer than this resumes no lesson
    };

    // Where the journal and the lesson log are kept: KeeperPaths::ForUser() for a user's keeper.
    explicit LessonKeeper(const KeeperPaths &paths, QObject *parent = nullptr);
    LessonKeeper(const KeeperPaths &paths, Options options, QObject *parent = nullptr);
    // Finishes the lesson being copied (its files are made) before it returns.
    ~LessonKeeper() override;

    KeeperSnapshot snapshot() const;

    // The first call starts keeping: the journal's unfinished lesson is taken up, the recorder is
    // connected (automatic mode). Later calls apply changed settings (a new address reconnects).
    Q_INVOKABLE void applySettings(const Qurel::KeeperSettings &settings);
    // The window's "开始录制" and "停止录制" (a lesson with an empty title).
    Q_INVOKABLE void startLesson();
    Q_INVOKABLE void stopLesson();
    // The recorder's own start and stop commands (F5 0x74, F6 0x75).
    Q_INVOKABLE void hotKey(int virtualKey);
    // Ends the copy as a stop would and emits finished() once every file is done.
    Q_INVOKABLE void finish();

signals:
    void snapshotChanged(const Qurel::KeeperSnapshot &snapshot);
    // A failure the user must see, in the client's words.
    void message(const QString &text);
    // A lesson's MP4 got its information file and thumbnail: the list may show it.
    void lessonFinished(const QString &mp4Path);
    // finish() is done.
    void finished();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace Qurel

Q_DECLARE_METATYPE(Qurel::KeeperSettings)
Q_DECLARE_METATYPE(Qurel::KeeperSnapshot)
