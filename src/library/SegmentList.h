#pragma once
// SegmentList: what the segment list shows — the six newest recordings, which of them are
// ticked and which is current. The frames only display it; the commands read their
// recordings from it.

#include "Recording.h"

#include <QStringList>

namespace Qurel {

class SegmentList
{
public:
    static constexpr int kShown = 6;

    // Takes the recordings newest first and keeps the six newest, leaving out the excluded videos
    // (the lessons being recorded or finished). Ticks and the current entry follow their
    // recordings; a current recording that is gone passes to the first entry.
    void Load(const RecordingList &newestFirst, const QStringList &excludedVideos = {});

    int count() const { return int(m_shown.size()); }
    // Recordings found by the last Load, the left-out one not counted.
    int total() const { return m_total; }
    const Recording &at(int index) const { return m_shown.at(index); }
    Recording &entry(int index) { return m_shown[index]; }

    bool isTicked(int index) const;
    void setTicked(int index, bool ticked); // out of range: ignored
    // The ticked recordings, top first, as a copy that later reloads do not change.
    RecordingList ticked() const;
    QList<int> tickedIndexes() const;

    int current() const { return m_current; } // -1 when the list is empty
    bool hasCurrent() const { return m_current >= 0; }
    const Recording &currentRecording() const { return m_shown.at(m_current); }
    // Makes index current and ticks it alone, as a click on a frame does; out of range: ignored.
    void select(int index);

private:
    RecordingList m_shown;
    QList<bool> m_ticks;
    int m_current = -1;
    int m_total = 0;
};

// The same file, however the two paths are spelled.
bool SamePath(const QString &a, const QString &b);
// path is the same file as one of paths.
bool SameAsAny(const QString &path, const QStringList &paths);

} // namespace Qurel
