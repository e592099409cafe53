#pragma once
// KeeperThread: runs the lesson keeper on a thread of its own with its own event loop, so an office
// export, a slide upload, a modal dialog or the player never delays a notice. The window talks to it
// through the calls below and keeps the last snapshot it reported.

#include "KeeperTypes.h"

#include <QObject>

class QThread;

namespace Qurel {

class LessonKeeper;

class KeeperThread final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeeperThread)

public:
    explicit KeeperThread(const KeeperPaths &paths, QObject *parent = nullptr);
    // Ends the keeper on its thread (a running copy is finished first), then the thread.
    ~KeeperThread() override;

    // Starts keeping with these settings, or applies changed ones; returns once the keeper has
    // taken them, with the snapshot that follows.
    void applySettings(const KeeperSettings &settings);
    void startLesson();
    void stopLesson();
    void hotKey(int virtualKey);
    void finish();

    // The last snapshot the keeper reported.
    const KeeperSnapshot &snapshot() const { return m_snapshot; }

signals:
    void snapshotChanged(const Qurel::KeeperSnapshot &snapshot);
    void message(const QString &text);
    void lessonFinished(const QString &mp4Path);
    void finished();

private:
    template <typename Fn> void post(Fn &&fn);
    void take(const KeeperSnapshot &snapshot);

    QThread *m_thread = nullptr;
    LessonKeeper *m_keeper = nullptr;
    KeeperSnapshot m_snapshot;
};

} // namespace Qurel
