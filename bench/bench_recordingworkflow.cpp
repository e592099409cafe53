// How quickly the client follows the recorder: from the start_record notice
// to the first media data of the MP4 on disk, and from the stop_record notice
// to the thumbnail, with the main window offscreen against the simulated
// recorder on 127.0.0.22 (RTSP test stream, real relay library and makePic).
#include "Configs.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PointAtSim.h"
#include "ProgramFolder.h"
#include "RecorderSim.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// Runs on its own thread: the user-interface thread is busy inside the start
// and the stop while we wait.
qint64 waitOnDisk(const std::function<bool()> &done, const QElapsedTimer &clock, qint64 limitMs)
{
    std::atomic<qint64> at { -1 };
    std::thread watcher([&] {
        while (clock.elapsed() < limitMs) {
            if (done()) {
                at = clock.elapsed();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    while (at < 0 && clock.elapsed() < limitMs)
        QTest::qWait(5);
    watcher.join();
    return at;
}

bool hasMediaData(const QString &folder)
{
    for (const QString &name : QDir(folder).entryList({ "*.mp4" }, QDir::Files)) {
        QFile f(folder + "/" + name);
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("mdat"))
            return true;
    }
    return false;
}

bool hasVideoFile(const QString &folder)
{
    return !QDir(folder).entryList({ "*.mp4" }, QDir::Files).isEmpty();
}

bool hasThumbnail(const QString &folder)
{
    return !QDir(folder + "/Image").entryList({ "*.jpg" }, QDir::Files).isEmpty();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Qurel::SetMsgHandler([](const Qurel::MsgRequest &r) {
        std::printf("message: %s\n", qPrintable(r.text));
        return true;
    });
    Qurel::SetProgramFolderForTesting(QUREL_PROGRAM_DIR);

    Qurel::RecorderSimOptions options;
    options.address = QHostAddress(QStringLiteral("127.0.0.22"));
    Qurel::RecorderSim sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::printf("simulated recorder: %s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir recordings;
    QurelTest::PointClientAt(sim, recordings.path(), true);
    TfrmMain frm;
    QElapsedTimer wait;
    wait.start();
    while (sim.controlClientCount() == 0 && wait.elapsed() < 10000)
        QTest::qWait(10);

    constexpr int kRounds = 3;
    std::vector<double> startMs;
    std::vector<double> stopMs;
    for (int round = 0; round < kRounds; ++round) {
        const QString folder = recordings.path();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QElapsedTimer clock;
        clock.start();
        sim.startRecording(QStringLiteral("测速"));
        const qint64 file = waitOnDisk([&] { return hasVideoFile(folder); }, clock, 15000);
        const qint64 media = waitOnDisk([&] { return hasMediaData(folder); }, clock, 15000);
        QTest::qWait(3000);
        clock.restart();
        sim.stopRecording();
        const qint64 thumb = waitOnDisk([&] { return hasThumbnail(folder); }, clock, 30000);
        QTest::qWait(500);
        std::printf("round %d: start_record -> MP4 created %lld ms, first media data %lld ms; "
                    "stop_record -> thumbnail %lld ms\n",
            round + 1, static_cast<long long>(file), static_cast<long long>(media), static_cast<long long>(thumb));
        if (media < 0 || thumb < 0)
            return 1;
        startMs.push_back(double(media));
        stopMs.push_back(double(thumb));
    }
    std::printf("start_record notice -> first media bytes on disk: median %.0f ms (target < 1500 ms)\n",
        median(startMs));
    std::printf(
        "stop_record notice -> thumbnail exists: median %.0f ms (target < 1500 ms)\n", median(stopMs));
    return 0;
}
