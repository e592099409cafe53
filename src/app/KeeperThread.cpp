#include "KeeperThread.h"

#include "LessonKeeper.h"

#include <QThread>

namespace Qurel {

KeeperThread::KeeperThread(const KeeperPaths &paths, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_keeper(new LessonKeeper(paths))
{
    m_thread->setObjectName(QStringLiteral("lesson-keeper"));
    m_keeper->moveToThread(m_thread);
    connect(m_keeper, &LessonKeeper::snapshotChanged, this, &KeeperThread::take);
    connect(m_keeper, &LessonKeeper::message, this, &KeeperThread::message);
    connect(m_keeper, &LessonKeeper::lessonFinished, this, &KeeperThread::lessonFinished);
    connect(m_keeper, &LessonKeeper::finished, this, &KeeperThread::finished);
    m_thread->start();
}

KeeperThread::~KeeperThread()
{
    LessonKeeper *keeper = std::exchange(m_keeper, nullptr);
    QMetaObject::invokeMethod(keeper, [keeper] { delete keeper; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

template <typename Fn> void KeeperThread::post(Fn &&fn)
{
    QMetaObject::invokeMethod(m_keeper, std::forward<Fn>(fn), Qt::QueuedConnection);
}

void KeeperThread::applySettings(const KeeperSettings &settings)
{
    LessonKeeper *keeper = m_keeper;
    KeeperSnapshot after;
    QMetaObject::invokeMethod(
        keeper,
        [keeper, settings, &after] {
            keeper->applySettings(settings);
            after = keeper->snapshot();
        },
        Qt::BlockingQueuedConnection);
    take(after);
}

void KeeperThread::startLesson()
{
    post([keeper = m_keeper] { keeper->startLesson(); });
}

void KeeperThread::stopLesson()
{
    post([keeper = m_keeper] { keeper->stopLesson(); });
}

void KeeperThread::hotKey(int virtualKey)
{
    post([keeper = m_keeper, virtualKey] { keeper->hotKey(virtualKey); });
}

void KeeperThread::finish()
{
    post([keeper = m_keeper] { keeper->finish(); });
}

void KeeperThread::take(const KeeperSnapshot &snapshot)
{
    if (snapshot == m_snapshot)
        return;
    m_snapshot = snapshot;
    emit snapshotChanged(m_snapshot);
}

} // namespace Qurel
