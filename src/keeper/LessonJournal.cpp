#include "LessonJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace Qurel {

namespace {
    constexpr int kVersion = 1;
    constexpr qint64 kMaxJournalBytes = 1 << 20;

    QString timeText(const QDateTime &when)
    {
        return when.isValid() ? when.toString(Qt::ISODateWithMs) : QString();
    }

    QDateTime timeOf(const QJsonValue &value)
    {
        return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    }

    QJsonObject fileObject(const LessonFile &lesson)
    {
        return { { QStringLiteral("file"), lesson.mp4Path }, { QStringLiteral("startTime"), timeText(lesson.startTime) } };
    }
} // namespace

bool JournalEntry::operator==(const JournalEntry &other) const
{
    const auto same = [](const QList<LessonFile> &a, const QList<LessonFile> &b) {
        if (a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i) {
            if (a[i].mp4Path != b[i].mp4Path || a[i].startTime != b[i].startTime)
                return false;
        }
        return true;
    };
    return state == other.state && title == other.title && file == other.file && startTime == other.startTime
        && recorder == other.recorder && same(finishing, other.finishing);
}

QByteArray LessonJournal::Encode(const JournalEntry &entry)
{
    QJsonArray finishing;
    for (const LessonFile &lesson : entry.finishing)
        finishing.append(fileObject(lesson));
    QJsonObject object = fileObject({ entry.file, entry.startTime });
    object.insert(QStringLiteral("version"), kVersion);
    object.insert(QStringLiteral("state"), entry.state);
    object.insert(QStringLiteral("title"), entry.title);
    object.insert(QStringLiteral("recorder"), entry.recorder);
    object.insert(QStringLiteral("finishing"), finishing);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<JournalEntry> LessonJournal::Decode(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("version")).toInt() != kVersion)
        return std::nullopt;
    JournalEntry entry;
    entry.state = object.value(QStringLiteral("state")).toString();
    entry.title = object.value(QStringLiteral("title")).toString();
    entry.file = object.value(QStringLiteral("file")).toString();
    entry.startTime = timeOf(object.value(QStringLiteral("startTime")));
    entry.recorder = object.value(QStringLiteral("recorder")).toString();
    for (const QJsonValue &value : object.value(QStringLiteral("finishing")).toArray()) {
        const QJsonObject lesson = value.toObject();
        const QString file = lesson.value(QStringLiteral("file")).toString();
        if (!file.isEmpty())
            entry.finishing.append({ file, timeOf(lesson.value(QStringLiteral("startTime"))) });
    }
    return entry;
}

bool LessonJournal::write(const JournalEntry &entry) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(Encode(entry));
    return file.commit();
}

std::optional<JournalEntry> LessonJournal::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxJournalBytes)
        return std::nullopt;
    return Decode(file.readAll());
}

ResumePlan PlanResume(const JournalEntry &entry, const QDateTime &lastAlive, const QDateTime &now,
    const QString &recorder, int maxLessonMinutes, qint64 resumeWithinSecs)
{
    ResumePlan plan;
    plan.finish = entry.finishing;
    const bool copying = entry.state == QLatin1String("recording") || entry.state == QLatin1String("stopping");
    if (copying && !entry.file.isEmpty())
        plan.finish.append({ entry.file, entry.startTime });
    // A stop that was seen ends the lesson; a lesson still starting had no file yet but is wanted.
    const bool wanted = entry.state == QLatin1String("recording") || entry.state == QLatin1String("starting");
    const QDateTime began = entry.startTime.isValid() ? entry.startTime : lastAlive;
    plan.deadline = began.addSecs(qint64(maxLessonMinutes) * 60);
    plan.resume = wanted && entry.recorder == recorder && lastAlive.isValid()
        && lastAlive.secsTo(now) < resumeWithinSecs && now < plan.deadline;
    if (plan.resume)
        plan.title = entry.title;
    return plan;
}

} // namespace Qurel
