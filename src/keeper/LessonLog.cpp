#include "LessonLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace Qurel {

Q_LOGGING_CATEGORY(lcLink, "qurel.link")
Q_LOGGING_CATEGORY(lcLesson, "qurel.lesson")
Q_LOGGING_CATEGORY(lcRelay, "qurel.relay")

namespace {

    const char *levelName(QtMsgType type)
    {
        switch (type) {
        case QtDebugMsg:
            return "DEBUG";
        case QtInfoMsg:
            return "INFO";
        case QtWarningMsg:
            return "WARNING";
        case QtCriticalMsg:
            return "CRITICAL";
        case QtFatalMsg:
            return "FATAL";
        }
        return "INFO";
    }

    // The file side of the log; messages come from every thread.
    class LogFile
    {
    public:
        static LogFile &instance()
        {
            static LogFile file;
            return file;
        }

        void open(const QString &path, std::int64_t maxBytes)
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_file.close();
            m_file.setFileName(path);
            m_maxBytes = maxBytes;
            if (path.isEmpty())
                return;
            QDir().mkpath(QFileInfo(path).absolutePath());
            m_file.open(QIODevice::WriteOnly | QIODevice::Append);
        }

        void write(const QByteArray &line)
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_file.isOpen())
                return;
            if (m_file.size() + line.size() > m_maxBytes)
                rotate();
            m_file.write(line);
            m_file.flush();
        }

    private:
        void rotate()
        {
            const QString path = m_file.fileName();
            m_file.close();
            QFile::remove(path + QStringLiteral(".1"));
            QFile::rename(path, path + QStringLiteral(".1"));
            m_file.open(QIODevice::WriteOnly | QIODevice::Append);
        }

        std::mutex m_mutex;
        QFile m_file;
        std::int64_t m_maxBytes = 0;
    };

    QtMessageHandler previousHandler = nullptr;

    void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        // The lesson's own categories, and whatever else goes wrong; no debugging chatter.
        const bool ours = context.category && qstrncmp(context.category, "qurel.", 6) == 0;
        if (type != QtDebugMsg && (type != QtInfoMsg || ours)) {
            const QString line
                = FormatLogLine(type, context.category, text, QDateTime::currentDateTime()) + QLatin1Char('\n');
            LogFile::instance().write(line.toUtf8());
        }
        if (previousHandler)
            previousHandler(type, context, text);
    }

} // namespace

QString FormatLogLine(QtMsgType type, const char *category, const QString &text, const QDateTime &when)
{
    QString line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + QLatin1String(levelName(type));
    if (category && qstrcmp(category, "default") != 0)
        line += QLatin1Char(' ') + QLatin1String(category) + QLatin1Char(':');
    // One message, one line: a title with a line break cannot forge another entry.
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return line + QLatin1Char(' ') + flat;
}

void InstallLessonLog(const QString &path, std::int64_t maxBytes)
{
    LogFile::instance().open(path, maxBytes);
    static std::once_flag installed;
    std::call_once(installed, [] { previousHandler = qInstallMessageHandler(handler); });
}

} // namespace Qurel
