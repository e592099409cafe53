#include "LessonKeeper.h"

#include "LessonJournal.h"
#include "LessonLog.h"
#include "ProgramFolder.h"

#include <QFileInfo>
#include <QTimer>

namespace Qurel {

namespace {
    const char *const kLinkLost = "警告：与录播机的连接已断开，正在重新连接，本地录制继续进行";

    QString lessonState(LessonRecorder::State state)
    {
        return QString::fromLatin1(LessonRecorder::StateName(state));
    }

    QDateTime newest(const QDateTime &a, const QDateTime &b)
    {
        if (!a.isValid())
            return b;
        return b.isValid() && b > a ? b : a;
    }
} // namespace

class LessonKeeper::Private
{
public:
    Private(LessonKeeper *q, const KeeperPaths &paths, Options options)
        : q(q)
        , options(std::move(options))
        , paths(paths)
        , journal(paths.journal)
        , lesson(*new LessonRecorder(this->options.relay, this->options.lesson, q))
        , link(*new RecorderLink(this->options.link, q))
        , resumeDeadline(*new QTimer(q))
    {
    }

    RecorderLogin login() const
    {
        return { settings.address, settings.httpPort, settings.username, settings.password };
    }

    void startLesson(const QString &title)
    {
        lesson.start(title, login(), settings.savePath);
    }

    // A notice or a button decides from now on, not the resumed copy's deadline.
    void endResume()
    {
        resumeDeadline.stop();
    }

    void resumeFromJournal()
    {
        const std::optional<JournalEntry> found = journal.read();
        if (!found)
            return;
        QDateTime lastAlive = QFileInfo(journal.path()).lastModified();
        if (!found->file.isEmpty())
            lastAlive = newest(lastAlive, QFileInfo(found->file).lastModified());
        const ResumePlan plan = PlanResume(*found, lastAlive, QDateTime::currentDateTime(), settings.address,
            settings.maxLessonMinutes, options.resumeWithinSecs);
        qCInfo(lcLesson) << "journal found: state" << found->state << "title" << found->title << "file"
                         << found->file << "last alive" << lastAlive << (plan.resume ? "- resuming" : "");
        for (const LessonFile &orphan : plan.finish)
            lesson.finishOrphan(orphan);
        if (!plan.resume)
            return;
        startLesson(plan.title);
        resumeDeadline.start(int(std::clamp<qint64>(
            QDateTime::currentDateTime().msecsTo(plan.deadline), 0, std::numeric_limits<int>::max())));
    }

    void writeJournal()
    {
        JournalEntry entry;
        entry.state = lessonState(lesson.state());
        entry.title = lesson.title();
        entry.file = lesson.fileName();
        entry.startTime = lesson.startTime();
        entry.recorder = settings.address;
        entry.finishing = lesson.finishing();
        if (entry == lastJournal)
            return;
        if (!journal.write(entry))
            qCWarning(lcLesson) << "the journal could not be written:" << journal.path();
        lastJournal = entry;
    }

    KeeperSnapshot compose() const
    {
        KeeperSnapshot s;
        s.link = settings.autoRec || link.state() != RecorderLink::State::Closed
            ? QString::fromLatin1(RecorderLink::StateName(link.state()))
            : QStringLiteral("manual");
        s.linkText = linkText;
        s.linkTextVisible = linkTextVisible;
        s.state = lessonState(lesson.state());
        s.title = lesson.title();
        s.file = lesson.fileName();
        s.startTime = lesson.startTime();
        s.warning = lesson.warning();
        if (s.warning.isEmpty() && lesson.recording() && settings.autoRec
            && link.state() != RecorderLink::State::Connected)
            s.warning = QString::fromUtf8(kLinkLost);
        s.retry = lesson.retryReason();
        s.unfinishedFiles = lesson.unfinishedFiles();
        s.settled = lesson.settled();
        return s;
    }

    void changed()
    {
        writeJournal();
        const KeeperSnapshot now = compose();
        if (now != snapshot) {
            snapshot = now;
            emit q->snapshotChanged(snapshot);
        }
        if (finishing && snapshot.settled) {
            finishing = false;
            emit q->finished();
        }
    }

    LessonKeeper *q;
    Options options;
    KeeperPaths paths;
    LessonJournal journal;
    // Children of the keeper, so they go with it to its thread.
    LessonRecorder &lesson;
    RecorderLink &link;
    KeeperSettings settings;
    bool started = false;
    bool finishing = false;
    QString linkText;
    bool linkTextVisible = false;
    KeeperSnapshot snapshot;
    JournalEntry lastJournal;
    QTimer &resumeDeadline;
};

LessonKeeper::LessonKeeper(const KeeperPaths &paths, QObject *parent)
    : LessonKeeper(paths, Options(), parent)
{
}

LessonKeeper::LessonKeeper(const KeeperPaths &paths, Options options, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, paths, std::move(options)))
{
    qRegisterMetaType<KeeperSettings>();
    qRegisterMetaType<KeeperSnapshot>();
    d->resumeDeadline.setSingleShot(true);
    connect(&d->resumeDeadline, &QTimer::timeout, this, [this] {
        qCInfo(lcLesson) << "the resumed copy reached the longest lesson the settings allow";
        d->lesson.stop();
    });
    connect(&d->link, &RecorderLink::startRequested, this, [this](const QString &title) {
        d->endResume();
        d->startLesson(title);
    });
    connect(&d->link, &RecorderLink::stopRequested, this, [this] {
        d->endResume();
        d->lesson.stop();
    });
    connect(&d->link, &RecorderLink::statusText, this, [this](const QString &text, bool makeVisible) {
        d->linkText = text;
        d->linkTextVisible = makeVisible;
        d->changed();
    });
    connect(&d->link, &RecorderLink::stateChanged, this, [this] { d->changed(); });
    const auto changed = [this] { d->changed(); };
    connect(&d->lesson, &LessonRecorder::stateChanged, this, changed);
    connect(&d->lesson, &LessonRecorder::warningChanged, this, changed);
    connect(&d->lesson, &LessonRecorder::retryChanged, this, changed);
    connect(&d->lesson, &LessonRecorder::filesChanged, this, changed);
    connect(&d->lesson, &LessonRecorder::settledChanged, this, changed);
    connect(&d->lesson, &LessonRecorder::message, this, &LessonKeeper::message);
    connect(&d->lesson, &LessonRecorder::lessonFinished, this, &LessonKeeper::lessonFinished);
    d->snapshot = d->compose();
}

LessonKeeper::~LessonKeeper()
{
    d->link.disconnect(this);
    d->lesson.disconnect(this);
    d->resumeDeadline.stop();
    // A lesson still wanted here was not ended by anybody's choice (the process is going down):
    // its copy is finished now, and the journal asks the next keeper to copy the rest.
    const bool wanted = !d->finishing
        && (d->lesson.state() == LessonRecorder::State::Starting
            || d->lesson.state() == LessonRecorder::State::Recording);
    JournalEntry entry;
    entry.state = wanted ? QStringLiteral("starting") : QStringLiteral("idle");
    entry.title = d->lesson.title();
    entry.startTime = d->lesson.startTime();
    entry.recorder = d->settings.address;
    delete &d->lesson; // finishes the running copy's files before it returns
    if (d->started)
        d->journal.write(entry);
}

KeeperSnapshot LessonKeeper::snapshot() const
{
    return d->snapshot;
}

void LessonKeeper::applySettings(const KeeperSettings &settings)
{
    const KeeperSettings before = d->settings;
    d->settings = settings;
    if (!d->started) {
        d->started = true;
        if (!d->paths.log.isEmpty())
            InstallLessonLog(d->paths.log);
        qCInfo(lcLesson) << "keeping lessons of" << settings.address << (settings.autoRec ? "(automatic)" : "(manual)");
        d->resumeFromJournal();
        d->link.setAutoReconnect(settings.autoRec);
        if (settings.autoRec)
            d->link.connectTo(settings.address);
    } else {
        d->link.setAutoReconnect(settings.autoRec);
        // A changed address is followed at once, in either mode.
        if (settings.address != before.address)
            d->link.connectTo(settings.address);
    }
    d->changed();
}

void LessonKeeper::startLesson()
{
    d->endResume();
    d->startLesson(QString());
}

void LessonKeeper::stopLesson()
{
    d->endResume();
    d->lesson.stop();
}

void LessonKeeper::hotKey(int virtualKey)
{
    LessonRecorder::SendRecorderCommand(
        virtualKey, d->login(), d->settings.titleTime, d->settings.creditTime);
}

void LessonKeeper::finish()
{
    d->finishing = true;
    d->endResume();
    d->lesson.stop();
    d->changed();
}

} // namespace Qurel
