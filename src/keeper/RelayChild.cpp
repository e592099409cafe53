#include "RelayChild.h"

#include "LessonLog.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace Qurel {

namespace {

    // A pipe's two ends, closed with the object unless taken.
    struct Pipe
    {
        int ends[2] = { -1, -1 };
        bool open() { return ::pipe2(ends, O_CLOEXEC) == 0; }
        int take(int which) { return std::exchange(ends[which], -1); }
        ~Pipe()
        {
            for (const int fd : ends) {
                if (fd >= 0)
                    ::close(fd);
            }
        }
    };

    // posix_spawn's attributes and file actions, destroyed with the object.
    struct SpawnSetup
    {
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_t actions;
        SpawnSetup()
        {
            posix_spawnattr_init(&attributes);
            posix_spawn_file_actions_init(&actions);
        }
        ~SpawnSetup()
        {
            posix_spawn_file_actions_destroy(&actions);
            posix_spawnattr_destroy(&attributes);
        }
    };

    QString errnoText(int error)
    {
        return QString::fromLocal8Bit(std::strerror(error));
    }

    // The relay processes started and not yet reaped, so the keeper can let them finish their
    // files before it ends (systemd kills what is left of a service once its main process ends).
    struct LiveChildren
    {
        std::mutex mutex;
        std::condition_variable ended;
        int count = 0;

        void add(int change)
        {
            {
                std::lock_guard<std::mutex> lock(mutex);
                count += change;
            }
            ended.notify_all();
        }
    };

    LiveChildren &liveChildren()
    {
        // Never destroyed: a reaping thread may outlive main().
        static LiveChildren *children = new LiveChildren;
        return *children;
    }

    // Waits for the child's end on a thread of its own (so no zombie stays, and only this child's
    // status is taken: QProcess reaps its own children) and logs an end that was not its own.
    void reapLater(pid_t pid)
    {
        const auto reap = [pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (WIFSIGNALED(status))
                qCWarning(lcRelay) << "the relay process" << pid << "was ended by signal" << WTERMSIG(status);
            else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
                qCWarning(lcRelay) << "the relay process" << pid << "exited with code" << WEXITSTATUS(status);
            liveChildren().add(-1);
        };
        liveChildren().add(1);
        try {
            std::thread(reap).detach();
        } catch (...) {
            liveChildren().add(-1);
            qCWarning(lcRelay) << "no thread to wait for the relay process" << pid;
        }
    }

} // namespace

std::unique_ptr<RelayChild> RelayChild::Start(
    const QString &program, const QStringList &args, int greetMs, std::int32_t *initCode, QString *error)
{
    Pipe requests;
    Pipe answers;
    if (!requests.open() || !answers.open()) {
        *error = QStringLiteral("no pipe for the relay process: ") + errnoText(errno);
        return nullptr;
    }
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, requests.ends[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, answers.ends[1], STDOUT_FILENO);
    // The child may outlive the keeper (finishing a file): it must hold none of the keeper's files,
    // sockets or locks, whatever flags they were opened with.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    // The keeper's blocked signals (its stop signals are read from a pipe) are not the child's.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> texts { path };
    for (const QString &arg : args)
        texts.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int rc = posix_spawn(&pid, path.constData(), &setup.actions, &setup.attributes, argv.data(), environ);
        rc != 0) {
        *error = program + QStringLiteral(": ") + errnoText(rc);
        return nullptr;
    }
    reapLater(pid);
    std::unique_ptr<RelayChild> child(new RelayChild(pid, requests.take(1), answers.take(0)));
    // Only the child holds its ends now, so its end reads here as the end of its answers.
    ::close(requests.take(0));
    ::close(answers.take(1));
    std::string line;
    const LineChannel::Result greeted = child->m_channel.readLine(line, greetMs);
    const std::optional<std::int32_t> code = greeted == LineChannel::Result::Ok ? RelayWire::ParseReady(line) : std::nullopt;
    if (!code) {
        *error = program + QStringLiteral(" did not start: ")
            + (greeted == LineChannel::Result::Ok ? QStringLiteral("a greeting that is not one")
                                                  : QString::fromLatin1(LineChannel::ResultName(greeted)));
        return nullptr;
    }
    *initCode = *code;
    return child;
}

bool RelayChild::WaitForAll(int timeoutMs)
{
    LiveChildren &children = liveChildren();
    std::unique_lock<std::mutex> lock(children.mutex);
    return children.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return children.count == 0; });
}

RelayChild::RelayChild(pid_t pid, int toChild, int fromChild)
    : m_pid(pid)
    , m_toChild(toChild)
    , m_fromChild(fromChild)
    , m_channel(fromChild, toChild, RelayWire::kMaxLineBytes)
{
    // Writes wait in poll for a bounded time, never in write.
    ::fcntl(m_toChild, F_SETFL, ::fcntl(m_toChild, F_GETFL) | O_NONBLOCK);
}

RelayChild::~RelayChild()
{
    ::close(m_toChild);
    ::close(m_fromChild);
}

std::optional<RelayWire::Answer> RelayChild::ask(const RelayWire::Request &request, int timeoutMs, QString *error)
{
    if (m_broken) {
        *error = QStringLiteral("the relay process stopped answering before");
        return std::nullopt;
    }
    LineChannel::Result result = m_channel.writeLine(RelayWire::FormatRequest(request), timeoutMs);
    std::string line;
    if (result == LineChannel::Result::Ok)
        result = m_channel.readLine(line, timeoutMs);
    std::optional<RelayWire::Answer> answer;
    if (result == LineChannel::Result::Ok)
        answer = RelayWire::ParseAnswer(request.verb, line);
    if (!answer) {
        m_broken = true;
        *error = QStringLiteral("the relay process %1 failed: %2")
                     .arg(m_pid)
                     .arg(result == LineChannel::Result::Ok ? QStringLiteral("an answer that is not one")
                                                            : QString::fromLatin1(LineChannel::ResultName(result)));
    }
    return answer;
}

} // namespace Qurel
