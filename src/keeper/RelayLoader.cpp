#include "RelayLoader.h"

#include "LessonLog.h"
#include "ProgramFolder.h"
#include "zelmicro.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace Qurel {

namespace {

    const char *const kLibraryName = "libzelmicro.so";

    QString lastDlError()
    {
        const char *text = dlerror();
        return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
    }

    // An opened shared library, closed with the object.
    class SharedLibrary final
    {
    public:
        explicit SharedLibrary(const QString &path)
            : m_handle(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
        {
            if (!m_handle)
                m_error = lastDlError();
        }

        bool isOpen() const { return bool(m_handle); }
        QString error() const { return m_error; }

        // The function called name; false, with the reason in error(), when the library lacks it.
        template <typename Function> bool resolve(const char *name, Function &function)
        {
            dlerror();
            void *address = dlsym(m_handle.get(), name);
            if (!address) {
                m_error = lastDlError();
                return false;
            }
            function = reinterpret_cast<Function>(address);
            return true;
        }

    private:
        struct Closer
        {
            void operator()(void *handle) const { dlclose(handle); }
        };
        std::unique_ptr<void, Closer> m_handle;
        QString m_error;
    };

    // The library's calls, all of them found.
    struct RelayFunctions
    {
        decltype(&zms32Init) init = nullptr;
        decltype(&zms32Uninit) uninit = nullptr;
        decltype(&zms32CreateDispatchStream) create = nullptr;
        decltype(&zms32StartDispatchStreamRecord) startRecord = nullptr;
        decltype(&zms32DestroyDispatchStream) destroy = nullptr;
        decltype(&zms32StopDispatchStreamRecord) stopRecord = nullptr;
        decltype(&zms32GetDispatchStreamStatus) status = nullptr;
        decltype(&zms32SetDispatchStreamUrl) setUrl = nullptr;

        bool resolveAll(SharedLibrary &library)
        {
            return library.resolve("zms32Init", init) && library.resolve("zms32Uninit", uninit)
                && library.resolve("zms32CreateDispatchStream", create)
                && library.resolve("zms32StartDispatchStreamRecord", startRecord)
                && library.resolve("zms32DestroyDispatchStream", destroy)
                && library.resolve("zms32StopDispatchStreamRecord", stopRecord)
                && library.resolve("zms32GetDispatchStreamStatus", status)
                && library.resolve("zms32SetDispatchStreamUrl", setUrl);
        }
    };

    struct LoadedRelay
    {
        explicit LoadedRelay(const QString &path)
            : library(path)
        {
        }
        SharedLibrary library;
        RelayFunctions calls;
    };

    // What the caller has asked of the library and what was done of it. Init, Uninit and the
    // load run under the lock (the library's rules say Init and Uninit run alone); the other calls
    // read the published function table without it, as they may come from any thread at any time.
    class RelayLoader final
    {
    public:
        int32_t init(int32_t port, int32_t flags, int32_t mode)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_initRequested)
                return ZMS32_ERR_WRONG_STATE;
            m_initArguments = { port, flags, mode };
            m_initRequested = true;
            // A program linked with the library would not have started without it: say so now
            // rather than only when the first lesson fails to start.
            const QString path = RelayLibraryPath();
            if (!m_loaded && !QFileInfo(path).isFile())
                qCWarning(lcRelay).noquote()
                    << "the relay library" << path << "is missing: no lesson can be recorded";
            return ZMS32_OK;
        }

        int32_t uninit()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            m_initRequested = false;
            if (!m_libraryInitialised)
                return ZMS32_OK;
            m_libraryInitialised = false;
            return m_loaded->calls.uninit();
        }

        // The library opened and initialised, for a create call.
        int32_t ready()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            if (!m_loaded && !load())
                return ZMS32_ERR_NOT_INITIALISED;
            if (!m_libraryInitialised) {
                const InitArguments &a = m_initArguments;
                if (const int32_t rc = m_loaded->calls.init(a.port, a.flags, a.mode); rc != ZMS32_OK) {
                    qCWarning(lcRelay) << "the relay library did not initialise, code" << rc;
                    return rc;
                }
                m_libraryInitialised = true;
            }
            return ZMS32_OK;
        }

        // The library's calls once it is open, else null.
        const RelayFunctions *calls() const { return m_calls.load(std::memory_order_acquire); }

        // What a call on the stream answers while the library is not open: no stream exists.
        // Without the lock, so a status call never waits for the library being opened.
        int32_t unloadedAnswer(int32_t stream) const
        {
            if (!m_initRequested)
                return ZMS32_ERR_NOT_INITIALISED;
            return stream == 0 ? ZMS32_ERR_WRONG_STATE : ZMS32_ERR_BAD_STREAM;
        }

    private:
        struct InitArguments
        {
            int32_t port = 0;
            int32_t flags = 0;
            int32_t mode = 0;
        };

        bool load()
        {
            const QString path = RelayLibraryPath();
            QElapsedTimer clock;
            clock.start();
            auto loaded = std::make_unique<LoadedRelay>(path);
            if (!loaded->library.isOpen() || !loaded->calls.resolveAll(loaded->library)) {
                qCWarning(lcRelay).noquote()
                    << "the relay library cannot be used:" << loaded->library.error();
                return false;
            }
            qCInfo(lcRelay).noquote() << "relay library" << path << "opened in" << clock.elapsed() << "ms";
            m_loaded = std::move(loaded);
            m_calls.store(&m_loaded->calls, std::memory_order_release);
            return true;
        }

        std::mutex m_mutex;
        std::atomic<bool> m_initRequested { false };
        bool m_libraryInitialised = false;
        InitArguments m_initArguments;
        std::unique_ptr<LoadedRelay> m_loaded;
        std::atomic<const RelayFunctions *> m_calls { nullptr };
    };

    RelayLoader &loader()
    {
        // Never destroyed, so the library stays open for files its threads still finish at exit.
        static RelayLoader *instance = new RelayLoader;
        return *instance;
    }

    // Passes a stream call on to the open library.
    template <typename Call> int32_t forwardToLibrary(int32_t stream, Call call)
    {
        if (const RelayFunctions *calls = loader().calls())
            return call(*calls);
        return loader().unloadedAnswer(stream);
    }

} // namespace

QString RelayLibraryPath()
{
    return QDir(ProgramFolder()).absoluteFilePath(QString::fromLatin1(kLibraryName));
}

bool RelayLibraryLoaded()
{
    return loader().calls() != nullptr;
}

} // namespace Qurel

using Qurel::forwardToLibrary;
using Qurel::loader;
using Qurel::RelayFunctions;

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
    if (const int32_t rc = loader().ready(); rc != ZMS32_OK)
        return rc;
    return loader().calls()->create(stream, config);
}

int32_t zms32StartDispatchStreamRecord(int32_t stream)
{
    return forwardToLibrary(stream, [&](const RelayFunctions &f) { return f.startRecord(stream); });
}

int32_t zms32DestroyDispatchStream(int32_t stream)
{
    return forwardToLibrary(stream, [&](const RelayFunctions &f) { return f.destroy(stream); });
}

int32_t zms32StopDispatchStreamRecord(int32_t stream)
{
    return forwardToLibrary(stream, [&](const RelayFunctions &f) { return f.stopRecord(stream); });
}

int32_t zms32GetDispatchStreamStatus(int32_t stream, Zms32StreamStatus *status)
{
    return forwardToLibrary(stream, [&](const RelayFunctions &f) { return f.status(stream, status); });
}

int32_t zms32SetDispatchStreamUrl(int32_t stream, const char *url)
{
    return forwardToLibrary(stream, [&](const RelayFunctions &f) { return f.setUrl(stream, url); });
}
