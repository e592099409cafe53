// Save-as copy speed: the copy job (temporary file, progress, rename) against
// a plain QFile::copy of the same file. Prints MB/s for both.

#include "FileCopier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 256;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.mp4"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, 'v');
        for (qint64 i = 0; i < megabytes; ++i)
            file.write(block);
    }

    auto rate = [megabytes](qint64 ms) { return ms > 0 ? megabytes * 1000.0 / ms : 0.0; };
    QElapsedTimer timer;
    timer.start();
    int reports = 0;
    const Qurel::CopyResult result = Qurel::FileCopier().Run(
        { { source, dir.filePath(QStringLiteral("job.mp4")) } }, [&reports](qint64, qint64) {
            ++reports;
            return true;
        });
    const qint64 jobMs = timer.restart();
    QFile::copy(source, dir.filePath(QStringLiteral("plain.mp4")));
    const qint64 plainMs = timer.elapsed();

    std::printf("file size            %lld MiB\n", static_cast<long long>(megabytes));
    std::printf("copy job             %lld ms  %.0f MB/s  (%d progress reports, %s)\n",
        static_cast<long long>(jobMs), rate(jobMs), reports, result.ok() ? "ok" : "FAILED");
    std::printf("QFile::copy          %lld ms  %.0f MB/s\n", static_cast<long long>(plainMs), rate(plainMs));
    return result.ok() ? 0 : 1;
}
