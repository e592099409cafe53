// qurel-relay: records one lesson with the relay library for qureld, which starts it at the
// lesson's first create call and talks to it over stdin/stdout (RelayWire.h). FFmpeg's memory thus
// lives and ends with this process, and a crash in it leaves the keeper running.
//
// The end of stdin (qureld retired it after the destroy call, or ended, or died) finishes the file
// as zms32Uninit does, then waits for every thread of the library to end before exiting, so a file
// that a slow disk still holds is written to its end. Stop signals are ignored: a keeper being
// stopped first ends its lesson through this process, and a terminal's Ctrl-C must not cut a file.
#include "LineChannel.h"
#include "RelayWire.h"
#include "zelmicro.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <csignal>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace Qurel;

// How long finished recordings may keep their threads (a network share that stopped answering)
// before the process gives up on them.
constexpr auto kThreadsWait = std::chrono::minutes(30);

RelayWire::Answer serve(const RelayWire::Request &request)
{
    RelayWire::Answer answer;
    const std::int32_t stream = request.stream;
    switch (request.verb) {
    case RelayWire::Verb::Create:
        answer.code = zms32CreateDispatchStream(stream, request.data ? request.data->data() : nullptr);
        break;
    case RelayWire::Verb::Start:
        answer.code = zms32StartDispatchStreamRecord(stream);
        break;
    case RelayWire::Verb::Destroy:
        answer.code = zms32DestroyDispatchStream(stream);
        break;
    case RelayWire::Verb::Stop:
        answer.code = zms32StopDispatchStreamRecord(stream);
        break;
    case RelayWire::Verb::Status: {
        Zms32StreamStatus status {};
        answer.code = zms32GetDispatchStreamStatus(stream, &status);
        if (answer.code == ZMS32_OK)
            answer.status = status;
        break;
    }
    case RelayWire::Verb::Url: {
        std::string url;
        if (request.data)
            url.assign(request.data->begin(), request.data->end());
        answer.code = zms32SetDispatchStreamUrl(stream, request.data ? url.c_str() : nullptr);
        break;
    }
    }
    return answer;
}

int threadCount()
{
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return 1;
    int count = 0;
    while (const dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(tasks);
    return count;
}

// Lets the threads on which the library still finishes files end.
void waitForFinishingThreads()
{
    const auto began = std::chrono::steady_clock::now();
    bool told = false;
    while (threadCount() > 1) {
        const auto waited = std::chrono::steady_clock::now() - began;
        if (waited >= kThreadsWait) {
            std::fprintf(stderr, "qurel-relay: a file is still being finished after 30 minutes; leaving it\n");
            return;
        }
        // A thread that is just ending is not worth a word; a disk that holds a file up is.
        if (!told && waited >= std::chrono::seconds(2)) {
            std::fprintf(stderr, "qurel-relay: waiting for a file to be finished\n");
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// A decimal 32-bit argument; nullopt when it is not one.
std::optional<std::int32_t> argument(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return std::int32_t(value);
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
#ifdef SIGXFSZ
    // A file-size limit fails the write that meets it (the relay tries again), not the recording.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const auto port = argc == 4 ? argument(argv[1]) : std::nullopt;
    const auto flags = argc == 4 ? argument(argv[2]) : std::nullopt;
    const auto mode = argc == 4 ? argument(argv[3]) : std::nullopt;
    if (!port || !flags || !mode) {
        std::fprintf(stderr, "usage: qurel-relay PORT FLAGS MODE (the zms32Init arguments; started by qureld, "
                             "which talks to it on stdin/stdout)\n");
        return 2;
    }
    // The answers get a descriptor of their own and stdout goes to stderr, so nothing a library
    // prints can be taken for an answer.
    const int answers = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (answers < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("qurel-relay: cannot set up its answers");
        return 1;
    }
    const std::int32_t initCode = zms32Init(*port, *flags, *mode);
    LineChannel channel(STDIN_FILENO, answers, RelayWire::kMaxLineBytes);
    if (channel.writeLine(RelayWire::FormatReady(initCode), -1) != LineChannel::Result::Ok || initCode != ZMS32_OK)
        return initCode == ZMS32_OK ? 0 : 1;
    for (;;) {
        std::string line;
        const LineChannel::Result read = channel.readLine(line, -1);
        if (read != LineChannel::Result::Ok) {
            if (read != LineChannel::Result::Closed)
                std::fprintf(stderr, "qurel-relay: reading requests failed (%s); finishing\n",
                    LineChannel::ResultName(read));
            break;
        }
        const auto request = RelayWire::ParseRequest(line);
        if (!request) {
            std::fprintf(stderr, "qurel-relay: a request that is not one (%zu bytes); finishing\n", line.size());
            break;
        }
        if (channel.writeLine(RelayWire::FormatAnswer(serve(*request)), -1) != LineChannel::Result::Ok)
            break; // qureld is gone: the file is finished all the same
    }
    zms32Uninit();
    waitForFinishingThreads();
    return 0;
}
