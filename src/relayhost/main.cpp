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

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
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
    const auto until = std::chrono::steady_clock::now() + kThreadsWait;
    bool told = false;
    while (threadCount() > 1) {
        if (std::chrono::steady_clock::now() >= until) {
            std::fprintf(stderr, "qurel-relay: a file is still being finished after 30 minutes; leaving it\n");
            return;
        }
        if (!told) {
            std::fprintf(stderr, "qurel-relay: waiting for a file to be finished\n");
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::int32_t argument(const char *text)
{
    const auto value = RelayWire::ParseReady(std::string("ready ") + text);
    return value ? *value : 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    if (argc != 4) {
        std::fprintf(stderr, "usage: qurel-relay PORT FLAGS MODE (started by qureld, which talks to it on stdin/stdout)\n");
        return 2;
    }
    const std::int32_t initCode = zms32Init(argument(argv[1]), argument(argv[2]), argument(argv[3]));
    LineChannel channel(STDIN_FILENO, STDOUT_FILENO, RelayWire::kMaxLineBytes);
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
