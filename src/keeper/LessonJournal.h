#pragma once
// LessonJournal: the keeper's note of the lesson it is copying, rewritten atomically at every change,
// so that a keeper started again after a crash, a kill or a logout finishes what the last one left
// and picks up a lesson the recorder is still recording.

#include "LessonSteps.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace Qurel {

struct JournalEntry
{
    QString state; // the lesson's state: "starting", "recording", "stopping"; "idle" when none runs
    QString title;
    QString file; // its MP4 once the copy runs
    QDateTime startTime;
    QString recorder; // the recorder's address the lesson came from
    QList<LessonFile> finishing; // lessons whose information file and thumbnail are not made yet

    bool operator==(const JournalEntry &other) const;
};

class LessonJournal
{
public:
    explicit LessonJournal(QString path) : m_path(std::move(path)) { }

    QString path() const { return m_path; }
    // Replaces the journal, readable by its owner only; false when it could not be written.
    bool write(const JournalEntry &entry) const;
    // What the last keeper left; nullopt when there is no journal or it cannot be read.
    std::optional<JournalEntry> read() const;

    static QByteArray Encode(const JournalEntry &entry);
    static std::optional<JournalEntry> Decode(const QByteArray &bytes);

private:
    QString m_path;
};

// What a keeper that starts does with the journal it finds.
struct ResumePlan
{
    QList<LessonFile> finish; // copies the last keeper left unfinished: their files are made now
    bool resume = false; // the lesson goes on into a new file under the same title
    QString title;
    QDateTime deadline; // the resumed copy ends here at the latest
};

// lastAlive: when the last keeper was last seen working (the newest of the journal's and its MP4's
// times). A lesson is resumed when no stop had been seen, the keeper was gone for less than
// resumeWithinSecs, and the recorder is still the one of the settings.
ResumePlan PlanResume(const JournalEntry &entry, const QDateTime &lastAlive, const QDateTime &now,
    const QString &recorder, int maxLessonMinutes, qint64 resumeWithinSecs = 600);

} // namespace Qurel
