#include "Utils.h"

#include "HexText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QUuid>

namespace Qurel {

namespace {

    constexpr int kTitleBytes = 256;

} // namespace

int RunAndWait(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    // The tool runs hidden: its output goes nowhere, so a chatty tool can
    // never block on a full pipe.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted())
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString HexUtf8ToText(const QString &hex)
{
    QByteArray bytes = LeadingHexBytes(hex, kTitleBytes);
    if (const qsizetype zero = bytes.indexOf('\0'); zero >= 0)
        bytes.truncate(zero);
    // Broken sequences would become U+FFFD; like characters that have no
    // form in the file system's encoding, they are left out.
    QString text = QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    text.remove(QChar::ReplacementCharacter);
    return text;
}

namespace {
    // Characters that make a title a bad or misleading file name: those Windows forbids in names,
    // the C0 and C1 control characters (tabs, line breaks, escape sequences) and the bidirectional
    // controls, which can make a listed name read differently from the file it stands for
    // ("lesson\u202Egpj.exe").
    bool IsBadFileChar(QChar c)
    {
        static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        const bool bidi = u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E)
            || (u >= 0x2066 && u <= 0x2069);
        return control || bidi || forbidden.contains(c);
    }
} // namespace

void RemoveBadFileChars(QString &text)
{
    text.removeIf(IsBadFileChar);
}

QString GetTempDir()
{
    const QString temp = QDir::tempPath();
    if (temp.isEmpty() || !QFileInfo(temp).isDir())
        return {};
    return temp.endsWith(QLatin1Char('/')) ? temp : temp + QLatin1Char('/');
}

QString GetFileVersionStr(const QString &filePath)
{
    if (filePath.isEmpty())
        return QStringLiteral(QUREL_VERSION);
    const QFileInfo info(filePath);
    if (!info.exists() || !info.isReadable())
        return QStringLiteral("-1");
    const QString self = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (!self.isEmpty() && info.canonicalFilePath() == QFileInfo(self).canonicalFilePath())
        return QStringLiteral(QUREL_VERSION);
    return {};
}

QString NewGuidStr()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

} // namespace Qurel
