#pragma once
// Small routines several parts of the client share: running a tool and
// waiting for it, turning a recorder title into a file-name text, the
// temporary folder, the program's version and fresh GUID texts.

#include <QString>
#include <QStringList>

namespace Qurel {

// How long RunAndWait lets a tool run unless told otherwise.
constexpr int kRunAndWaitDefaultMs = 60000;

// Runs program with the arguments (no shell), waits at most timeoutMs for it
// to end and returns its exit code. -1 when it cannot start, crashes, or is
// still running when the time is up (it is killed then).
int RunAndWait(const QString &program, const QStringList &arguments, int timeoutMs = kRunAndWaitDefaultMs);

// Hex digits (either case, two per byte) of UTF-8 bytes into text: reads
// from the start until a pair is not two hex digits or 256 bytes are filled,
// keeps the bytes before the first zero byte and decodes them as UTF-8,
// dropping byte sequences that are not UTF-8.
QString HexUtf8ToText(const QString &hex);

// Removes every \ / : * ? " < > |, every control character (below U+0020, U+007F to U+009F, NUL
// among them) and every bidirectional control (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) from text.
void RemoveBadFileChars(QString &text);

// The temporary folder with a trailing "/", or empty text when it is missing.
QString GetTempDir();

// The version compiled into the program ("1.0.0.1") for the program's own
// executable (or an empty path); empty text for another existing file, which
// carries no version; "-1" when the file cannot be read.
QString GetFileVersionStr(const QString &filePath = QString());

// A new GUID in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
QString NewGuidStr();

} // namespace Qurel
