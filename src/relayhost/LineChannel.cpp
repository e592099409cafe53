#include "LineChannel.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace Qurel {

namespace {

    using Clock = std::chrono::steady_clock;

    // Waits until fd is ready for events or the deadline passed; false on timeout or failure.
    LineChannel::Result waitFor(int fd, short events, bool bounded, Clock::time_point deadline)
    {
        for (;;) {
            int timeout = -1;
            if (bounded) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0)
                    return LineChannel::Result::TimedOut;
                timeout = int(left.count());
            }
            pollfd p { fd, events, 0 };
            const int n = ::poll(&p, 1, timeout);
            if (n > 0)
                return LineChannel::Result::Ok; // readable, writable, or hung up: the call says which
            if (n == 0)
                return LineChannel::Result::TimedOut;
            if (errno != EINTR)
                return LineChannel::Result::Failed;
        }
    }

} // namespace

LineChannel::Result LineChannel::readLine(std::string &line, int timeoutMs)
{
    const bool bounded = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            if (end > m_maxLineBytes)
                return Result::TooLong;
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return Result::Ok;
        }
        if (m_buffer.size() > m_maxLineBytes)
            return Result::TooLong;
        if (const Result ready = waitFor(m_readFd, POLLIN, bounded, deadline); ready != Result::Ok)
            return ready;
        char chunk[4096];
        const ssize_t n = ::read(m_readFd, chunk, sizeof chunk);
        if (n == 0)
            return Result::Closed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return Result::Failed;
        }
        m_buffer.append(chunk, std::size_t(n));
    }
}

LineChannel::Result LineChannel::writeLine(const std::string &line, int timeoutMs)
{
    const bool bounded = timeoutMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string text = line + '\n';
    std::size_t done = 0;
    while (done < text.size()) {
        if (const Result ready = waitFor(m_writeFd, POLLOUT, bounded, deadline); ready != Result::Ok)
            return ready;
        const ssize_t n = ::write(m_writeFd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return errno == EPIPE ? Result::Closed : Result::Failed;
        }
        done += std::size_t(n);
    }
    return Result::Ok;
}

const char *LineChannel::ResultName(Result result)
{
    switch (result) {
    case Result::Ok:
        return "ok";
    case Result::Closed:
        return "the other end closed";
    case Result::TimedOut:
        return "no answer in time";
    case Result::TooLong:
        return "line too long";
    case Result::Failed:
        return "pipe failed";
    }
    return "pipe failed";
}

} // namespace Qurel
