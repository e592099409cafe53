// Many rooms on one machine: N keepers (qureld), each following its own simulated recorder on
// its own loopback address (127.0.0.150 + i), record one lesson at the same time. Nothing is
// shared between the rooms but the programs: each keeper has its own settings file, recordings
// folder and XDG data, configuration, cache and runtime folders.
// Prints per keeper the resident memory idle (before its lesson and again after it) and while
// recording (alone, and with the qurel-relay process that records its lesson), its CPU per lesson
// with its relay process's as a share of one core, and whether the room's files are
// complete; then the totals, and the simulators' own CPU apart (they encode the streams, the
// keepers only copy them).
// Usage: bench_rooms [--rooms N] [--lesson SECONDS] [--bitrate KBPS] [--size WxH] [--fps N] [--keep]
#include "ChildProcess.h"
#include "MediaCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace Qurel;

namespace {

const QString kKeeper = QStringLiteral(QUREL_PROGRAM_DIR "/qureld");
const QString kRecorderSim = QStringLiteral(QUREL_RECORDER_SIM);

// The targets a keeper is held to.
constexpr double kIdleTargetMb = 25;
constexpr double kRecordingTargetMb = 45;
constexpr double kCpuTargetPercent = 2;

struct Options
{
    int rooms = 8;
    int lessonSeconds = 60;
    int bitrateKbps = 3000;
    QString size = QStringLiteral("640x360");
    int fps = 25;
    bool keep = false;
};

// CPU time of a process in seconds, from /proc/PID/stat: its own, and that of the children it
// has waited for (the keeper's thumbnail tool).
struct CpuTime
{
    double self = 0;
    double children = 0;
};

CpuTime cpuTime(qint64 pid)
{
    const std::string stat = Bench::readFile("/proc/" + std::to_string(pid) + "/stat");
    // The name in parentheses may hold spaces and parentheses itself: the fields follow the last ')'.
    const size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return {};
    std::istringstream fields(stat.substr(end + 2));
    std::vector<std::string> values { std::istream_iterator<std::string>(fields), {} };
    if (values.size() < 15)
        return {};
    // Fields 14 to 17 of proc(5): utime, stime, cutime, cstime; values[0] is field 3.
    const double tick = double(sysconf(_SC_CLK_TCK));
    return { (std::stod(values[11]) + std::stod(values[12])) / tick,
        (std::stod(values[13]) + std::stod(values[14])) / tick };
}

// Proportional set size: each shared page counted as a share among the processes mapping it, so
// N keepers' figures add up to what they take together.
long pssKb(qint64 pid)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line))
        if (line.compare(0, 4, "Pss:") == 0)
            return std::atol(line.c_str() + 4);
    return 0;
}

// Which mappings make a process's resident size: resident and private kB summed per mapped file
// (or [heap], [stack], anonymous), largest first.
struct Mapping
{
    std::string name;
    long rssKb = 0;
    long privateKb = 0;
};

std::vector<Mapping> residentMappings(qint64 pid)
{
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, Mapping> byName;
    std::string line;
    std::string current;
    while (std::getline(smaps, line)) {
        const size_t colon = line.find(':');
        const bool header = colon == std::string::npos || line.find('-') < colon;
        if (header) {
            // "start-end perms offset dev inode [path]": the path is the sixth field.
            std::istringstream fields(line);
            std::string skip, path;
            for (int i = 0; i < 5; ++i)
                fields >> skip;
            std::getline(fields >> std::ws, path);
            current = path.empty() ? "[anonymous]" : path.substr(path.rfind('/') + 1);
            byName[current].name = current;
        } else if (line.compare(0, 4, "Rss:") == 0) {
            byName[current].rssKb += std::atol(line.c_str() + 4);
        } else if (line.compare(0, 8, "Private_") == 0) {
            byName[current].privateKb += std::atol(line.c_str() + colon + 1);
        }
    }
    std::vector<Mapping> list;
    for (auto &[name, mapping] : byName)
        list.push_back(mapping);
    std::sort(list.begin(), list.end(), [](const Mapping &a, const Mapping &b) { return a.rssKb > b.rssKb; });
    return list;
}

void printMappings(const char *when, qint64 pid, size_t count)
{
    const std::vector<Mapping> list = residentMappings(pid);
    long rss = 0, own = 0;
    int libraries = 0;
    for (const Mapping &m : list) {
        rss += m.rssKb;
        own += m.privateKb;
        libraries += m.name.find(".so") != std::string::npos;
    }
    std::printf("  %s: %.1f MB resident, %.1f MB of it private to this keeper, %d shared libraries mapped; "
                "largest mappings:\n",
        when, rss / 1024.0, own / 1024.0, libraries);
    for (size_t i = 0; i < std::min(count, list.size()); ++i)
        std::printf("    %7.1f MB resident %7.1f MB private  %s\n", list[i].rssKb / 1024.0,
            list[i].privateKb / 1024.0, list[i].name.c_str());
}

// The qurel-relay processes a keeper started that still run.
std::vector<qint64> relayProcesses(qint64 keeper)
{
    std::vector<qint64> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const std::string stat = Bench::readFile("/proc/" + entry.toStdString() + "/stat");
        const size_t end = stat.rfind(')');
        if (end == std::string::npos || stat.find("(qurel-relay)") == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(end + 2));
        std::string state;
        qint64 parent = 0;
        fields >> state >> parent;
        if (parent == keeper && state != "Z")
            found.push_back(entry.toLongLong());
    }
    return found;
}

double mb(long kb)
{
    return kb / 1024.0;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

// One classroom: its simulated recorder, its keeper and what was measured of them.
struct Room
{
    int index = 0;
    QString address;
    QString folder;
    QString title;
    QProcess sim;
    QProcess keeper;

    long idleRssKb = 0;
    long idlePssKb = 0;
    long recordingPeakRssKb = 0;
    long recordingPssKb = 0;
    long afterRssKb = 0; // idle again once the lesson's files are finished
    long withRelayPeakRssKb = 0; // the keeper and its relay process together
    long withRelayPssKb = 0;
    std::map<qint64, double> relayCpu; // CPU seconds of each relay process, last seen (sampled)
    CpuTime keeperAtStart, keeperAtFinish, simAtStart, simAtStop;
    // The copy alone, without the lesson's start and finish: from 3 s into the recording to the stop.
    CpuTime steadyFrom, steadyTo;
    double withRelaysAtStart = 0, withRelaysAtFinish = 0, steadyWithRelaysFrom = 0, steadyWithRelaysTo = 0;
    double steadyFromAt = -1, steadyToAt = -1;
    double recordingAfter = -1; // seconds from the start notice to the keeper's "recording"
    double finishedAfter = -1; // seconds from the stop notice to the keeper's finished files
    int keeperExit = -1;

    QString mp4;
    Test::FileProbe probe;
    int concealed = -1; // the decoder's "concealing" messages over the whole file
    bool axt = false;
    bool jpg = false;

    QString path(const QString &name) const { return folder + QLatin1Char('/') + name; }
    // Samples the keeper's relay processes: their CPU so far and the resident size with the keeper's.
    void sampleRelays()
    {
        long rss = Bench::statusKb(int(keeper.processId()), "VmRSS");
        for (const qint64 pid : relayProcesses(keeper.processId())) {
            relayCpu[pid] = std::max(relayCpu[pid], cpuTime(pid).self);
            rss += Bench::statusKb(int(pid), "VmRSS");
        }
        withRelayPeakRssKb = std::max(withRelayPeakRssKb, rss);
    }
    // CPU seconds of the keeper and of its relay processes as last sampled.
    double cpuWithRelays() const
    {
        double sum = cpuTime(keeper.processId()).self;
        for (const auto &[pid, seconds] : relayCpu)
            sum += seconds;
        return sum;
    }
    double relaySeconds() const
    {
        double sum = 0;
        for (const auto &[pid, seconds] : relayCpu)
            sum += seconds;
        return sum;
    }
    QString simLog() const { return path(QStringLiteral("sim.log")); }
    QString keeperLog() const { return path(QStringLiteral("keeper.log")); }
    bool keeperSaid(const char *text) const
    {
        return Bench::readFile(keeperLog().toStdString()).find(text) != std::string::npos;
    }
    bool complete(double lessonSeconds) const
    {
        // The copy begins after the keeper's CGI calls and the relay's connect, so it may be a
        // little shorter than the lesson; a stopped copy must not be much shorter or longer.
        return probe.ok && probe.streams.contains(QLatin1String("video")) && concealed == 0 && axt && jpg
            && probe.duration > lessonSeconds - 4 && probe.duration < lessonSeconds + 2;
    }
};

bool waitUntil(double seconds, const std::function<bool()> &done)
{
    const double until = Bench::now() + seconds;
    while (!done()) {
        if (Bench::now() > until)
            return false;
        QThread::msleep(100);
    }
    return true;
}

bool send(QProcess &sim, const QString &command)
{
    sim.write((command + QLatin1Char('\n')).toUtf8());
    return sim.waitForBytesWritten(2000);
}

bool startSim(Room &room, const Options &options, int *httpPort)
{
    room.sim.setStandardOutputFile(room.simLog());
    room.sim.setProcessChannelMode(QProcess::MergedChannels);
    room.sim.start(kRecorderSim,
        { QStringLiteral("--address"), room.address, QStringLiteral("--http-port"), QStringLiteral("0"),
            QStringLiteral("--rtsp-port"), QStringLiteral("0"), QStringLiteral("--password="),
            QStringLiteral("--size"), options.size, QStringLiteral("--fps"), QString::number(options.fps),
            QStringLiteral("--bitrate"), QString::number(options.bitrateKbps),
            QStringLiteral("--moving-bars") });
    if (!room.sim.waitForStarted(5000))
        return false;
    const QRegularExpression started(QStringLiteral("HTTP http://[0-9.]+:(\\d+)/"));
    return waitUntil(20, [&] {
        *httpPort = started.match(QString::fromStdString(Bench::readFile(room.simLog().toStdString())))
                        .captured(1)
                        .toInt();
        return *httpPort > 0;
    });
}

// The keeper gets a settings file like the window's, automatic mode, and folders of its own.
bool startKeeper(Room &room, int httpPort)
{
    const QString settings = room.path(QStringLiteral("settings.ini"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral(
        "[Series_A]\nAddress=%1\nHttpPort=%2\nUserName=admin\nSavePath=%3\n\n[Ver]\nAutoRec=1\n")
                   .arg(room.address)
                   .arg(httpPort)
                   .arg(room.path(QStringLiteral("recordings")))
                   .toUtf8());
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const char *name : { "DATA", "CONFIG", "CACHE" }) {
        const QString folder = room.path(QString::fromLatin1(name).toLower());
        if (!QDir().mkpath(folder))
            return false;
        environment.insert(QStringLiteral("XDG_%1_HOME").arg(QLatin1String(name)), folder);
    }
    // The runtime folder holds the keeper's socket and lock: the user's alone, as a session's is.
    const QString runtime = room.path(QStringLiteral("runtime"));
    if (!QDir().mkpath(runtime)
        || !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

    room.keeper.setProcessEnvironment(environment);
    room.keeper.setStandardOutputFile(room.keeperLog());
    room.keeper.setProcessChannelMode(QProcess::MergedChannels);
    room.keeper.start(kKeeper, { QStringLiteral("--settings"), settings });
    return room.keeper.waitForStarted(5000);
}

void checkFiles(Room &room)
{
    const QDir recordings(room.path(QStringLiteral("recordings")));
    const QStringList mp4s = recordings.entryList({ QStringLiteral("*.mp4") }, QDir::Files);
    if (mp4s.size() != 1)
        return;
    room.mp4 = recordings.filePath(mp4s.first());
    room.probe = Test::probeFile(room.mp4);
    room.concealed = Test::concealmentCount(room.mp4);
    const QString base = QFileInfo(room.mp4).completeBaseName();
    room.axt = QFileInfo(recordings.filePath(QStringLiteral("Image/%1.axt").arg(base))).size() > 0;
    room.jpg = QFileInfo(recordings.filePath(QStringLiteral("Image/%1.jpg").arg(base))).size() > 0;
}

std::optional<Options> parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rooms(QStringLiteral("rooms"), QStringLiteral("Rooms (default 8)."),
        QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption lesson(QStringLiteral("lesson"),
        QStringLiteral("Lesson length in seconds (default 60)."), QStringLiteral("seconds"),
        QStringLiteral("60"));
    const QCommandLineOption bitrate(QStringLiteral("bitrate"),
        QStringLiteral("Video bit rate each recorder streams, kbit/s (default 3000)."),
        QStringLiteral("kbps"), QStringLiteral("3000"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Picture size (default 640x360)."),
        QStringLiteral("WxH"), QStringLiteral("640x360"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Frame rate (default 25)."),
        QStringLiteral("n"), QStringLiteral("25"));
    const QCommandLineOption keep(
        QStringLiteral("keep"), QStringLiteral("Keep the rooms' folders and print where."));
    parser.addOptions({ rooms, lesson, bitrate, size, fps, keep });
    parser.process(app);
    Options options;
    options.rooms = parser.value(rooms).toInt();
    options.lessonSeconds = parser.value(lesson).toInt();
    options.bitrateKbps = parser.value(bitrate).toInt();
    options.size = parser.value(size);
    options.fps = parser.value(fps).toInt();
    options.keep = parser.isSet(keep);
    // 127.0.0.150 + i stays below the addresses the tests use from .160 on.
    if (options.rooms < 1 || options.rooms > 10 || options.lessonSeconds < 10 || options.bitrateKbps <= 0
        || options.fps <= 0) {
        std::fprintf(
            stderr, "bench_rooms: --rooms 1..10, --lesson 10 or more, --bitrate and --fps above 0\n");
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const auto parsed = parseOptions(app);
    if (!parsed)
        return 2;
    const Options options = *parsed;

    QTemporaryDir work;
    work.setAutoRemove(!options.keep);
    std::vector<std::unique_ptr<Room>> rooms;
    for (int i = 0; i < options.rooms; ++i) {
        auto room = std::make_unique<Room>();
        room->index = i + 1;
        room->address = QStringLiteral("127.0.0.%1").arg(150 + i);
        room->folder = work.filePath(QStringLiteral("room%1").arg(i + 1));
        room->title = QStringLiteral("第%1教室").arg(i + 1);
        QDir().mkpath(room->folder);
        rooms.push_back(std::move(room));
    }
    std::printf("%d rooms, each: a simulated recorder streaming H.264 %s at %d fps of moving colour bars, %d "
                "kbit/s asked of x264 "
                "(+ AAC 64 kbit/s), and one qureld; lesson %d s\n",
        options.rooms, qPrintable(options.size), options.fps, options.bitrateKbps, options.lessonSeconds);
    if (options.keep)
        std::printf("folders kept in %s\n", qPrintable(work.path()));
    std::fflush(stdout);

    int failures = 0;
    auto fail = [&](const Room &room, const char *what) {
        std::printf("room %d (%s): %s; see %s\n", room.index, qPrintable(room.address), what,
            qPrintable(room.folder));
        ++failures;
    };
    for (auto &room : rooms) {
        int httpPort = 0;
        if (!startSim(*room, options, &httpPort))
            fail(*room, "the simulated recorder did not start");
        else if (!startKeeper(*room, httpPort))
            fail(*room, "qureld did not start");
    }
    for (auto &room : rooms)
        if (!waitUntil(20, [&] { return room->keeperSaid("connected to"); }))
            fail(*room, "the keeper did not connect to its recorder");
    if (failures > 0)
        return 1;

    // Idle: the keepers hold their recorder links and wait for a notice.
    QThread::sleep(3);
    for (auto &room : rooms) {
        room->idleRssKb = Bench::statusKb(int(room->keeper.processId()), "VmRSS");
        room->idlePssKb = pssKb(room->keeper.processId());
    }
    std::printf("\nroom 1's keeper, what its resident size is made of:\n");
    printMappings("idle", rooms.front()->keeper.processId(), 10);

    // All lessons start together and stop together.
    const double startedAt = Bench::now();
    for (auto &room : rooms) {
        room->keeperAtStart = cpuTime(room->keeper.processId());
        room->withRelaysAtStart = room->cpuWithRelays();
        room->simAtStart = cpuTime(room->sim.processId());
        send(room->sim, QStringLiteral("start ") + room->title);
    }
    bool mappingsShown = false;
    while (Bench::now() < startedAt + options.lessonSeconds) {
        for (auto &room : rooms) {
            const qint64 pid = room->keeper.processId();
            room->recordingPeakRssKb = std::max(room->recordingPeakRssKb, Bench::statusKb(int(pid), "VmRSS"));
            room->sampleRelays();
            if (room->recordingAfter < 0 && room->keeperSaid("recording \""))
                room->recordingAfter = Bench::now() - startedAt;
            if (room->steadyFromAt < 0 && room->recordingAfter >= 0
                && Bench::now() > startedAt + room->recordingAfter + 3) {
                room->steadyFrom = cpuTime(pid);
                room->steadyWithRelaysFrom = room->cpuWithRelays();
                room->steadyFromAt = Bench::now();
            }
        }
        if (!mappingsShown && Bench::now() > startedAt + options.lessonSeconds / 2.0) {
            for (auto &room : rooms) {
                room->recordingPssKb = pssKb(room->keeper.processId());
                room->withRelayPssKb = room->recordingPssKb;
                for (const qint64 relay : relayProcesses(room->keeper.processId()))
                    room->withRelayPssKb += pssKb(relay);
            }
            printMappings("recording", rooms.front()->keeper.processId(), 10);
            for (const qint64 relay : relayProcesses(rooms.front()->keeper.processId()))
                printMappings("its relay process, recording", relay, 6);
            mappingsShown = true;
        }
        QThread::msleep(250);
    }
    const double stoppedAt = Bench::now();
    for (auto &room : rooms) {
        room->sampleRelays();
        room->steadyTo = cpuTime(room->keeper.processId());
        room->steadyWithRelaysTo = room->cpuWithRelays();
        room->steadyToAt = Bench::now();
        send(room->sim, QStringLiteral("stop"));
        room->simAtStop = cpuTime(room->sim.processId());
    }
    waitUntil(60, [&] {
        bool all = true;
        for (auto &room : rooms) {
            if (room->finishedAfter >= 0)
                continue;
            room->sampleRelays();
            if (room->keeperSaid("files finished for")) {
                room->finishedAfter = Bench::now() - stoppedAt;
                room->keeperAtFinish = cpuTime(room->keeper.processId());
                room->withRelaysAtFinish = room->cpuWithRelays();
            } else {
                all = false;
            }
        }
        return all;
    });
    const double lessonSeconds = stoppedAt - startedAt;
    // Idle again: the relay process has finished the file and ended.
    QThread::sleep(2);
    for (auto &room : rooms)
        room->afterRssKb = Bench::statusKb(int(room->keeper.processId()), "VmRSS");

    for (auto &room : rooms) {
        room->keeper.terminate(); // finishes and ends, as systemctl stop does
        if (room->keeper.waitForFinished(20000) && room->keeper.exitStatus() == QProcess::NormalExit)
            room->keeperExit = room->keeper.exitCode();
        room->sim.terminate();
        room->sim.waitForFinished(5000);
        checkFiles(*room);
    }

    std::printf(
        "\nrec. peak RSS: the keeper alone / with its relay process; PSS rec.: with its relay process;\n"
        "CPU/lesson: the CPU of the keeper and its relay process (sampled every 250 ms) from the start "
        "notice to its finished files over the lesson's "
        "length, %% of one core;\ncopy: the same for the steady copy alone (from 3 s into the "
        "recording to the stop notice), which a long lesson tends to;\nthumbnail: CPU seconds of its "
        "thumbnail tool; start: start notice to "
        "recording; finish: stop notice to finished files;\nconcealed: the decoder's concealment "
        "messages over the whole file; exit: the keeper's exit status after SIGTERM\n");
    std::printf("room address        idle RSS  rec. peak RSS        PSS idle/rec.  CPU/lesson  copy    thumbnail  "
                "start  finish   file: length  kbit/s  fps  concealed  .axt .jpg  exit\n");
    long idleSum = 0, peakSum = 0, pssIdleSum = 0, pssRecSum = 0;
    double cpuSum = 0, simCpuSum = 0, worstCpu = 0, kbpsSum = 0;
    long worstIdle = 0, worstPeak = 0, worstAfter = 0, worstWithRelay = 0;
    int complete = 0;
    for (auto &room : rooms) {
        const bool finished = room->finishedAfter >= 0;
        const double cpu
            = finished ? 100 * (room->withRelaysAtFinish - room->withRelaysAtStart) / lessonSeconds : -1;
        const double steady = room->steadyFromAt > 0
            ? 100 * (room->steadyWithRelaysTo - room->steadyWithRelaysFrom) / (room->steadyToAt - room->steadyFromAt)
            : -1;
        // The keeper's reaped children are its relay processes and its thumbnail tool.
        const double thumbnail = finished
            ? std::max(0.0, room->keeperAtFinish.children - room->keeperAtStart.children - room->relaySeconds())
            : -1;
        const double kbps
            = room->probe.duration > 0 ? QFileInfo(room->mp4).size() * 8 / room->probe.duration / 1000 : 0;
        kbpsSum += kbps;
        const bool ok = room->complete(lessonSeconds) && room->keeperExit == 0;
        complete += ok;
        std::printf(
            "%4d %-13s %6.1f MB  %5.1f/%5.1f MB  %5.1f/%5.1f MB  %8.2f %%  %5.2f %%  %7.2f s  %5.2f s %5.2f s  "
            "%8.2f s  %6.0f  "
            "%4.1f  %9d  %-4s %-4s  %d%s\n",
            room->index, qPrintable(room->address), mb(room->idleRssKb), mb(room->recordingPeakRssKb),
            mb(room->withRelayPeakRssKb), mb(room->idlePssKb), mb(room->withRelayPssKb), cpu, steady, thumbnail, room->recordingAfter,
            room->finishedAfter, room->probe.duration, kbps,
            room->probe.duration > 0 ? room->probe.videoFrames / room->probe.duration : 0.0, room->concealed,
            room->axt ? "yes" : "NO", room->jpg ? "yes" : "NO", room->keeperExit, ok ? "" : "  INCOMPLETE");
        idleSum += room->idleRssKb;
        peakSum += room->recordingPeakRssKb;
        pssIdleSum += room->idlePssKb;
        pssRecSum += room->withRelayPssKb;
        cpuSum += std::max(cpu, 0.0);
        worstCpu = std::max(worstCpu, cpu);
        worstIdle = std::max(worstIdle, room->idleRssKb);
        worstPeak = std::max(worstPeak, room->recordingPeakRssKb);
        worstWithRelay = std::max(worstWithRelay, room->withRelayPeakRssKb);
        worstAfter = std::max(worstAfter, room->afterRssKb);
        simCpuSum += 100 * (room->simAtStop.self - room->simAtStart.self) / lessonSeconds;
    }
    const int n = options.rooms;
    std::printf(
        "\ntotal of %d keepers: %.1f MB resident idle, %.1f MB recording (summed RSS counts shared "
        "library pages once per keeper); %.1f MB idle, %.1f MB recording with the relay processes as PSS "
        "(shared pages split);\n"
        "  %.1f %% of one core while %d lessons record (%.2f %% per keeper); %d of %d rooms' files "
        "complete\n",
        n, mb(idleSum), mb(peakSum), mb(pssIdleSum), mb(pssRecSum), cpuSum, n, cpuSum / n, complete, n);
    std::printf("the %d simulated recorders (encoding): %.1f %% of one core together, %.1f %% each\n", n,
        simCpuSum, simCpuSum / n);
    std::printf("\ntargets per keeper:\n"
                "  resident idle      <= %.0f MB: worst %.1f MB, %s (idle again after the lesson: worst %.1f MB, "
                "%s)\n"
                "  resident recording <= %.0f MB: worst %.1f MB, %s (with its relay process: worst %.1f MB, %s)\n"
                "  CPU per lesson     <= %.0f %% of a core: worst %.2f %%, %s\n",
        kIdleTargetMb, mb(worstIdle), verdict(mb(worstIdle) <= kIdleTargetMb), mb(worstAfter),
        verdict(mb(worstAfter) <= kIdleTargetMb), kRecordingTargetMb, mb(worstPeak),
        verdict(mb(worstPeak) <= kRecordingTargetMb), mb(worstWithRelay),
        verdict(mb(worstWithRelay) <= kRecordingTargetMb), kCpuTargetPercent, worstCpu,
        verdict(worstCpu <= kCpuTargetPercent));
    if (cpuSum > 0 && pssRecSum > 0 && kbpsSum > 0)
        std::printf(
            "rooms per resource at these figures: 16 cores at 70 %% load about %.0f (CPU per lesson); "
            "1 GB of memory about %.0f (PSS recording);\n  1 Gbit/s of network about %.0f (%.0f kbit/s "
            "per room in and the same to disk)\n",
            16 * 70 / (cpuSum / n), 1024 / (mb(pssRecSum) / n), 1e6 / (kbpsSum / n), kbpsSum / n);
    return complete == n ? 0 : 1;
}
