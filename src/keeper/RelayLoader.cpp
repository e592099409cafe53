#include "RelayLoader.h"

#include "LessonLog.h"
#include "ProgramFolder.h"
#include "RelayChild.h"
#include "zelmicro.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace Qurel {

namespace {

    const char *const kProgramName = "qurel-relay";

    // Bounds on the relay process's answers: its start (it loads FFmpeg), a create (the library's
    // connect takes up to about 8 s), the other calls on the stream (about a second in the
    // library), and the calls from the output watch, which answer at once.
    constexpr int kGreetMs = 10000;
    constexpr int kCreateMs = 30000;
    constexpr int kCallMs = 15000;
    constexpr int kQuickMs = 3000;
    // How long the keeper's end waits for relay processes finishing their files (a stalled disk):
    // well within a service's stop timeout and a window's wait for its keeper.
    constexpr int kEndWaitMs = 20000;
    // A status call waits no longer than this for a call in progress (a create connecting).
    constexpr auto kStatusQueue = std::chrono::milliseconds(200);

    using RelayWire::Verb;

    class RelayLoader final
    {
    public:
        int32_t init(int32_t port, int32_t flags, int32_t mode)
        {
            std::lock_guard<std::timed_mutex> lock(m_mutex);
            if (m_initRequested)
                return ZMS32_ERR_WRONG_STATE;
            m_initArguments = { port, flags, mode };
            m_initRequested = true;
            // A relay process that ends must cost a failed write, not this process.
            std::signal(SIGPIPE, SIG_IGN);
            // Said at once rather than only when the first lesson fails to start.
            const QString path = RelayProgramPath();
            if (!QFileInfo(path).isExecutable())
                qCWarning(lcRelay).noquote()
                    << "the relay program" << path << "is missing: no lesson can be recorded";
            return ZMS32_OK;
        }

        int32_t uninit()
        {
            std::lock_guard<std::timed_mutex> lock(m_mutex);
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            m_initRequested = false;
            retire();
            // The last lesson's process finishes its file after its retirement: the keeper ends
            // after it, so nothing (systemd, a window waiting for its keeper) cuts the file short.
            if (!RelayChild::WaitForAll(kEndWaitMs))
                qCWarning(lcRelay) << "a relay process is still finishing its file after" << kEndWaitMs / 1000
                                   << "s; the keeper ends without it";
            return ZMS32_OK;
        }

        int32_t create(int32_t stream, const void *config)
        {
            std::lock_guard<std::timed_mutex> lock(m_mutex);
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            retire(); // a process still finishing the last lesson's file goes on alone
            if (!startChild())
                return ZMS32_ERR_NOT_INITIALISED;
            RelayWire::Request request { Verb::Create, stream, std::nullopt };
            if (config) {
                const auto *bytes = static_cast<const unsigned char *>(config);
                request.data.emplace(bytes, bytes + ZMS32_CONFIG_SIZE);
            }
            const int32_t code = askChild(request, kCreateMs).code;
            if (code != ZMS32_OK)
                retire(); // no stream: the next try starts afresh
            return code;
        }

        int32_t call(Verb verb, int32_t stream, int timeoutMs, std::optional<std::vector<unsigned char>> data = {},
            Zms32StreamStatus *status = nullptr)
        {
            std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
            if (verb == Verb::Status || verb == Verb::Url) {
                if (!lock.try_lock_for(kStatusQueue))
                    return ZMS32_ERR_WRONG_STATE; // busy creating or ending: nothing to tell yet
            } else {
                lock.lock();
            }
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            if (!m_child) {
                if (stream != 0)
                    return ZMS32_ERR_BAD_STREAM;
                // The stop that follows a destroy: the destroy finished the recording already.
                if (verb == Verb::Stop && std::exchange(m_stopAfterDestroy, false))
                    return ZMS32_OK;
                return ZMS32_ERR_WRONG_STATE;
            }
            const RelayWire::Answer answer = askChild({ verb, stream, std::move(data) }, timeoutMs);
            if (status && answer.status)
                *status = *answer.status;
            if (verb == Verb::Destroy && stream == 0) {
                // The process finishes the file and exits on its own; this lesson is done with it.
                retire();
                m_stopAfterDestroy = true;
            }
            return answer.code;
        }

        bool running() const { return m_running; }

    private:
        struct InitArguments
        {
            int32_t port = 0;
            int32_t flags = 0;
            int32_t mode = 0;
        };

        bool startChild()
        {
            QElapsedTimer clock;
            clock.start();
            const InitArguments &a = m_initArguments;
            int32_t initCode = ZMS32_OK;
            QString error;
            m_child = RelayChild::Start(RelayProgramPath(),
                { QString::number(a.port), QString::number(a.flags), QString::number(a.mode) }, kGreetMs, &initCode,
                &error);
            if (!m_child) {
                qCWarning(lcRelay).noquote() << "the relay program cannot be used:" << error;
                return false;
            }
            if (initCode != ZMS32_OK) {
                qCWarning(lcRelay) << "the relay library did not initialise, code" << initCode;
                retire();
                return false;
            }
            m_running = true;
            m_stopAfterDestroy = false;
            qCInfo(lcRelay) << "relay process" << m_child->pid() << "started in" << clock.elapsed() << "ms";
            return true;
        }

        // The child's answer; a child that died or went silent answers as a stream that ended
        // (status) or a call that failed inside the library (the others).
        RelayWire::Answer askChild(const RelayWire::Request &request, int timeoutMs)
        {
            const bool toldBefore = m_child->broken();
            QString error;
            if (std::optional<RelayWire::Answer> answer = m_child->ask(request, timeoutMs, &error))
                return *answer;
            if (!toldBefore)
                qCWarning(lcRelay).noquote() << error << "- its recording ends here";
            if (request.verb != Verb::Status)
                return { ZMS32_ERR_INTERNAL, std::nullopt };
            Zms32StreamStatus ended {};
            ended.flags = ZMS32_STATUS_ENDED;
            ended.msSincePacket = -1;
            ended.msSinceWrite = -1;
            return { ZMS32_OK, ended };
        }

        void retire()
        {
            m_child.reset();
            m_running = false;
            m_stopAfterDestroy = false;
        }

        std::timed_mutex m_mutex;
        bool m_initRequested = false;
        bool m_stopAfterDestroy = false;
        InitArguments m_initArguments;
        std::unique_ptr<RelayChild> m_child;
        std::atomic<bool> m_running { false };
    };

    RelayLoader &loader()
    {
        // Never destroyed: a relay call may come from a thread that outlives main().
        static RelayLoader *instance = new RelayLoader;
        return *instance;
    }

} // namespace

QString RelayProgramPath()
{
    return QDir(ProgramFolder()).absoluteFilePath(QString::fromLatin1(kProgramName));
}

bool RelayProcessRunning()
{
    return loader().running();
}

} // namespace Qurel

using Qurel::loader;
using Qurel::RelayWire::Verb;

int32_t zms32Init(int32_t port, int32_t flags, int32_t mode)
{
    return loader().init(port, flags, mode);
}

int32_t zms32Uninit(void)
{
    return loader().uninit();
}

int32_t zms32CreateDispatchStream(int32_t stream, const void *config)
{
    return loader().create(stream, config);
}

int32_t zms32StartDispatchStreamRecord(int32_t stream)
{
    return loader().call(Verb::Start, stream, Qurel::kCallMs);
}

int32_t zms32DestroyDispatchStream(int32_t stream)
{
    return loader().call(Verb::Destroy, stream, Qurel::kCallMs);
}

int32_t zms32StopDispatchStreamRecord(int32_t stream)
{
    return loader().call(Verb::Stop, stream, Qurel::kCallMs);
}

int32_t zms32GetDispatchStreamStatus(int32_t stream, Zms32StreamStatus *status)
{
    if (!status)
        return ZMS32_ERR_BAD_CONFIG;
    return loader().call(Verb::Status, stream, Qurel::kQuickMs, std::nullopt, status);
}

int32_t zms32SetDispatchStreamUrl(int32_t stream, const char *url)
{
    std::optional<std::vector<unsigned char>> bytes;
    if (url)
        bytes.emplace(url, url + std::strlen(url));
    // What the relay itself refuses, so an unfit URL never reaches the line.
    if (!bytes || bytes->empty() || bytes->size() >= ZMS32_LEN_URL)
        return ZMS32_ERR_BAD_CONFIG;
    return loader().call(Verb::Url, stream, Qurel::kQuickMs, std::move(bytes));
}
