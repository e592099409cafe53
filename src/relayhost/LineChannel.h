#pragma once
// Lines over a pair of pipe ends, each read or write bounded in time: what qureld and qurel-relay
// use to talk. Owns neither descriptor.

#include <string>

namespace Qurel {

class LineChannel
{
public:
    enum class Result { Ok, Closed, TimedOut, TooLong, Failed };

    LineChannel(int readFd, int writeFd, std::size_t maxLineBytes)
        : m_readFd(readFd)
        , m_writeFd(writeFd)
        , m_maxLineBytes(maxLineBytes)
    {
    }

    // The next line without its '\n', waiting at most timeoutMs (-1: without a limit).
    Result readLine(std::string &line, int timeoutMs);
    // line and a '\n', all of it written within timeoutMs (-1: without a limit).
    Result writeLine(const std::string &line, int timeoutMs);

    static const char *ResultName(Result result);

private:
    int m_readFd;
    int m_writeFd;
    std::size_t m_maxLineBytes;
    std::string m_buffer;
};

} // namespace Qurel
