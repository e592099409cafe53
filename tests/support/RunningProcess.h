#pragma once
// A program a test starts, killed when the test ends whatever its outcome.

#include <QProcess>

namespace QurelTest {

struct RunningProcess
{
    QProcess process;

    RunningProcess() = default;
    RunningProcess(const RunningProcess &) = delete;
    RunningProcess &operator=(const RunningProcess &) = delete;
    ~RunningProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

} // namespace QurelTest
