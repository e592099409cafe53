// Upload benchmark: a 1 GB file (sparse, made in /tmp and removed afterwards)
// posted to the simulated platform, once by the client's upload routine and
// once by `curl -F file1=@FILE URL`, alternately for a few rounds after one
// unmeasured warm-up, each round in the other order. Prints the
// throughput and the peak RSS of both, and the client's RSS growth.
#include "PlatformSim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;
constexpr int kRounds = 4;

struct Run
{
    bool ok = false;
    double seconds = 0;
    long peakKb = 0; // ru_maxrss of the child
    QByteArray output; // its standard output
};

// Runs a program (no shell), waits for it and takes its resource usage.
Run runChild(const QStringList &command)
{
    Run run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return run;
    std::vector<QByteArray> storage;
    for (const QString &arg : command)
        storage.push_back(QFile::encodeName(arg));
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage
    {
    };
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

long figure(const QByteArray &output, const QByteArray &key)
{
    const qsizetype at = output.indexOf(key + '=');
    return at < 0 ? -1 : output.mid(at + key.size() + 1).split(' ').value(0).trimmed().toLong();
}

double mbPerSecond(double seconds)
{
    return seconds > 0 ? kFileSize / (1024.0 * 1024.0) / seconds : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString clientExe = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_upload_client");

    QTemporaryFile file(QStringLiteral("/tmp/qurel-upload-bench-XXXXXX.mp4"));
    if (!file.open() || !file.resize(kFileSize)) {
        std::fprintf(stderr, "cannot make the 1 GB file in /tmp\n");
        return 1;
    }
    file.close();

    Qurel::PlatformSimOptions options;
    options.address = QHostAddress(QStringLiteral("127.0.0.63"));
    options.keepFiles = false; // the disk would measure itself, not the uploads
    Qurel::PlatformSim sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString url
        = sim.baseUrl() + QStringLiteral("/tools/qurelclient/clientuploadfile.aspx?guid=bench&filetype=1");

    const QStringList curlCommand { QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-o"),
        QStringLiteral("/dev/null"), QStringLiteral("-F"), QStringLiteral("file1=@") + file.fileName(), url };
    const QStringList clientCommand { clientExe, url, file.fileName() };
    if (!runChild(curlCommand).ok) { // warm-up: connection paths, allocator, page tables
        std::fprintf(stderr, "curl could not upload to %s\n", qPrintable(url));
        return 1;
    }
    sim.clearRecords();

    double bestClient = 1e9, bestCurl = 1e9;
    long clientPeak = 0, curlPeak = 0, clientGrowth = 0;
    for (int round = 1; round <= kRounds; ++round) {
        Run curl, client;
        if (round % 2) {
            curl = runChild(curlCommand);
            client = runChild(clientCommand);
        } else {
            client = runChild(clientCommand);
            curl = runChild(curlCommand);
        }
        const QList<Qurel::ReceivedUpload> uploads = sim.uploads();
        const bool sizesOk
            = uploads.size() == 2 && uploads[0].size == kFileSize && uploads[1].size == kFileSize;
        sim.clearRecords();
        if (!curl.ok || !client.ok || !sizesOk) {
            std::fprintf(stderr, "round %d failed (curl %d, client %d, sizes %d): %s\n", round, curl.ok,
                client.ok, sizesOk, client.output.constData());
            return 1;
        }
        std::printf("round %d: curl %.2f s, client %.2f s\n", round, curl.seconds, client.seconds);
        bestCurl = std::min(bestCurl, curl.seconds);
        bestClient = std::min(bestClient, client.seconds);
        curlPeak = std::max(curlPeak, curl.peakKb);
        clientPeak = std::max(clientPeak, client.peakKb);
        clientGrowth = std::max(
            clientGrowth, figure(client.output, "peak_kb") - figure(client.output, "rss_before_kb"));
    }

    const double ratio = mbPerSecond(bestClient) / mbPerSecond(bestCurl);
    std::printf("upload of 1 GB to the simulated platform (best of %d rounds)\n", kRounds);
    std::printf("  curl -F:  %8.1f MB/s  peak RSS %6.1f MB\n", mbPerSecond(bestCurl), curlPeak / 1024.0);
    std::printf("  client:   %8.1f MB/s  peak RSS %6.1f MB  RSS growth during upload %5.1f MB\n",
        mbPerSecond(bestClient), clientPeak / 1024.0, clientGrowth / 1024.0);
    std::printf(
        "  throughput client/curl %.2f (target >= 0.90): %s\n", ratio, ratio >= 0.9 ? "met" : "MISSED");
    std::printf("  client RSS growth %.1f MB (target < 50 MB): %s\n", clientGrowth / 1024.0,
        clientGrowth < 50 * 1024 ? "met" : "MISSED");
    return 0;
}
