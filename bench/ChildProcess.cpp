#include "ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <spawn.h>
#include <sstream>
#include <thread>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace Qurel::Bench {

namespace {

    // The kernel's peak figure of a spawned child also counts the parent's memory at the moment
    // of the spawn (the child starts in the parent's address space), so a busy parent hides the
    // child's own peak. The high-water mark of the child's own address space is read instead,
    // every 20 ms while it runs.
    class PeakSampler
    {
    public:
        static PeakSampler &instance()
        {
            static PeakSampler sampler;
            return sampler;
        }

        void watch(int pid)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_peaks[pid] = 0;
        }

        long take(int pid)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const long peak = m_peaks[pid];
            m_peaks.erase(pid);
            return peak;
        }

        ~PeakSampler()
        {
            m_stop = true;
            m_thread.join();
        }

    private:
        PeakSampler()
            : m_thread([this] { run(); })
        {
        }

        void run()
        {
            while (!m_stop) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    for (auto &[pid, peak] : m_peaks)
                        peak = std::max(peak, statusKb(pid, "VmHWM"));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }

        std::mutex m_mutex;
        std::map<int, long> m_peaks;
        std::atomic<bool> m_stop { false };
        std::thread m_thread;
    };

} // namespace

long statusKb(int pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string key = field + ':';
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    return 0;
}

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
    if (rc != 0)
        return -1;
    PeakSampler::instance().watch(int(pid));
    return int(pid);
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
    const long sampled = PeakSampler::instance().take(pid);
    usage.peakRssKb = sampled > 0 ? sampled : ru.ru_maxrss;
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
