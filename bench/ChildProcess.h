// Runs a program to its end and reports the CPU time and peak memory it used.
#pragma once

#include <string>
#include <vector>

namespace Qurel::Bench {

struct ChildUsage
{
    bool ok = false; // started and ended by itself with exit code 0
    int exitCode = -1;
    double cpuSeconds = 0; // user + system
    long peakRssKb = 0; // of the child's own address space
    double wallSeconds = 0;
};

// Starts the program with its output redirected to outputFile; returns the child's id or -1.
int spawn(const std::vector<std::string> &argv, const std::string &outputFile);
// Waits for a child started by spawn.
ChildUsage waitFor(int pid, double startedAt);

double now(); // monotonic seconds

// A "kB" field of /proc/PID/status such as "VmRSS" or "VmHWM"; 0 when the process is gone.
long statusKb(int pid, const std::string &field);

std::string readFile(const std::string &path);

} // namespace Qurel::Bench
