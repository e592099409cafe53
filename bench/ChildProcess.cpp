#include "ChildProcess.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace Qurel::Bench {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int spawn(const std::vector<std::string> &argv, const std::string &outputFile)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? int(pid) : -1;
}

ChildUsage waitFor(int pid, double startedAt)
{
    ChildUsage usage;
    int status = 0;
    struct rusage ru
    {
    };
    if (pid <= 0 || wait4(pid, &status, 0, &ru) != pid)
        return usage;
    usage.wallSeconds = now() - startedAt;
    usage.cpuSeconds = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    usage.peakRssKb = ru.ru_maxrss;
    usage.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usage.ok = usage.exitCode == 0;
    return usage;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace Qurel::Bench
