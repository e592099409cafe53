// Listing and ordering a recordings folder of 5,000 recordings (each with its
// thumbnail and information file in Image/), as the segment list does on
// every reload.
#include "RecordingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
void touch(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("x");
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kRecordings = 5000;
    constexpr int kRuns = 7;
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/Image");
    for (int i = 0; i < kRecordings; ++i) {
        const QString base
            = QStringLiteral("课程%1_2015030710%2").arg(i).arg(i % 10000, 4, 10, QLatin1Char('0'));
        touch(dir.path() + "/" + base + ".mp4");
        touch(dir.path() + "/Image/" + base + ".jpg");
        touch(dir.path() + "/Image/" + base + ".axt");
    }

    std::vector<double> ms;
    qsizetype found = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        TFileInfoList list = Qurel::FindFiles(dir.path(), ".mp4");
        Qurel::SortFilesByDate(list);
        ms.push_back(clock.nsecsElapsed() / 1e6);
        found = list.size();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("FindFiles + SortFilesByDate, %lld recordings (+ %d files in Image/): median %.1f ms, "
                "min %.1f ms, max %.1f ms over %d runs (target < 100 ms)\n",
        static_cast<long long>(found), 2 * kRecordings, ms[ms.size() / 2], ms.front(), ms.back(), kRuns);
    return found == kRecordings ? 0 : 1;
}
