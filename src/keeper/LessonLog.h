#pragma once
// The lesson log: every step of a lesson's life (notices, start attempts and their outcome,
// reconnects, warnings, the stop and the files) goes through these logging categories, to standard
// error and to a size-bounded file, so the log answers "why is Tuesday's lesson missing".

#include <QLoggingCategory>
#include <QString>

#include <cstdint>

namespace Qurel {

Q_DECLARE_LOGGING_CATEGORY(lcLink) // qurel.link: the recorder's control connection and its notices
Q_DECLARE_LOGGING_CATEGORY(lcLesson) // qurel.lesson: starts, retries, stops, files, the journal
Q_DECLARE_LOGGING_CATEGORY(lcRelay) // qurel.relay: what the relay reports of the stream

// Appends the lesson's messages (the qurel.* categories) and every warning, time-stamped, to path;
// every message still goes on to the handler before (standard error). When the file
// passes maxBytes it is moved to path + ".1" (replacing the older one) and a new one begun, so the
// log never takes more than twice maxBytes. The folder is created when missing. Calling it again
// with another path moves the log there; an empty path stops writing the file.
void InstallLessonLog(const QString &path, std::int64_t maxBytes = std::int64_t(1) << 20);

// One log line as written to the file: "2026-12-09 09:00:00.123 INFO qurel.lesson: text".
QString FormatLogLine(QtMsgType type, const char *category, const QString &text, const QDateTime &when);

} // namespace Qurel
