#include "SegmentList.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Qurel {

bool SamePath(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

bool SameAsAny(const QString &path, const QStringList &paths)
{
    return std::any_of(paths.cbegin(), paths.cend(), [&](const QString &other) { return SamePath(path, other); });
}

void SegmentList::Load(const RecordingList &newestFirst, const QStringList &excludedVideos)
{
    QStringList tickedPaths;
    for (const Recording &recording : ticked())
        tickedPaths << recording.videoPath;
    const QString currentPath = hasCurrent() ? currentRecording().videoPath : QString();

    m_shown.clear();
    m_ticks.clear();
    m_current = -1;
    m_total = 0;
    for (const Recording &recording : newestFirst) {
        if (SameAsAny(recording.videoPath, excludedVideos))
            continue;
        ++m_total;
        if (m_shown.size() >= kShown)
            continue;
        if (recording.videoPath == currentPath)
            m_current = int(m_shown.size());
        m_shown << recording;
        m_ticks << tickedPaths.contains(recording.videoPath);
    }
    if (m_current < 0 && !m_shown.isEmpty())
        m_current = 0;
}

bool SegmentList::isTicked(int index) const
{
    return index >= 0 && index < m_ticks.size() && m_ticks.at(index);
}

void SegmentList::setTicked(int index, bool ticked)
{
    if (index >= 0 && index < m_ticks.size())
        m_ticks[index] = ticked;
}

QList<int> SegmentList::tickedIndexes() const
{
    QList<int> indexes;
    for (int i = 0; i < m_ticks.size(); ++i)
        if (m_ticks.at(i))
            indexes << i;
    return indexes;
}

RecordingList SegmentList::ticked() const
{
    RecordingList recordings;
    for (int i : tickedIndexes())
        recordings << m_shown.at(i);
    return recordings;
}

void SegmentList::select(int index)
{
    if (index < 0 || index >= m_shown.size())
        return;
    m_current = index;
    for (int i = 0; i < m_ticks.size(); ++i)
        m_ticks[i] = i == index;
}

} // namespace Qurel
