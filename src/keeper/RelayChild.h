#pragma once
// One qurel-relay process, which records one lesson for qureld: started with its pipes, asked one
// request at a time with a bound on each answer, and retired by closing its stdin, after which it
// finishes its file and exits on its own. A thread of its own reaps it and logs how it ended.

#include "LineChannel.h"
#include "RelayWire.h"

#include <QString>

#include <memory>
#include <optional>
#include <sys/types.h>

namespace Qurel {

class RelayChild
{
public:
    // Starts program with args; null with the reason in *error when it cannot be started or
    // does not greet in time. *initCode is the library's zms32Init result in the child.
    static std::unique_ptr<RelayChild> Start(
        const QString &program, const QStringList &args, int greetMs, std::int32_t *initCode, QString *error);

    RelayChild(const RelayChild &) = delete;
    RelayChild &operator=(const RelayChild &) = delete;
    // Retires the child (closes its stdin): it finishes its file and exits by itself.
    ~RelayChild();

    // The child's answer within timeoutMs; nullopt, with the reason in *error, when it died, did
    // not answer in time or answered nonsense. After a failure the child is not asked again.
    std::optional<RelayWire::Answer> ask(const RelayWire::Request &request, int timeoutMs, QString *error);
    bool broken() const { return m_broken; }
    pid_t pid() const { return m_pid; }

    // Waits at most timeoutMs until every relay process this program started has ended (each
    // finishes its file after it is retired). True once none runs.
    static bool WaitForAll(int timeoutMs);

private:
    RelayChild(pid_t pid, int toChild, int fromChild);

    pid_t m_pid;
    int m_toChild;
    int m_fromChild;
    LineChannel m_channel;
    bool m_broken = false;
};

} // namespace Qurel
