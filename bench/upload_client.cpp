// bench_upload_client URL FILE: posts FILE to the platform's upload service
// the way the upload window does and prints its own memory figures:
//   rss_before_kb=N peak_kb=N accepted=0|1
#include "PlatformUpload.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {
// A "VmRSS:"/"VmHWM:" figure of this process, in kB.
long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_upload_client URL FILE\n");
        return 2;
    }
    const long before = statusKb("VmRSS:");
    std::int64_t lastSent = 0;
    const Qurel::PlatformUploadResult result
        = Qurel::PostToPlatform(args[1], args[2], [&](std::int64_t sent, std::int64_t) {
              lastSent = sent;
              return true;
          });
    std::printf("rss_before_kb=%ld peak_kb=%ld accepted=%d sent=%lld\n", before, statusKb("VmHWM:"),
        result.reply.accepted ? 1 : 0, static_cast<long long>(lastSent));
    if (result.transportFailed)
        std::fprintf(stderr, "%s: %s\n", qPrintable(result.errorKind), qPrintable(result.errorText));
    return result.reply.accepted ? 0 : 1;
}
