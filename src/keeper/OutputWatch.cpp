#include "OutputWatch.h"

#include <cerrno>

namespace Qurel {

QString OutputProblemText(OutputProblem problem)
{
    switch (problem) {
    case OutputProblem::None:
        break;
    case OutputProblem::FolderGone:
        return QStringLiteral("警告：视频保存文件夹已不存在或无法访问，视频无法继续保存！");
    case OutputProblem::DiskFull:
        return QStringLiteral("警告：磁盘空间已满，视频无法继续保存！");
    case OutputProblem::WriteFailed:
        return QStringLiteral("警告：视频文件无法继续写入，请检查视频保存路径所在的磁盘！");
    case OutputProblem::StreamSilent:
        return QStringLiteral("警告：录播机的视频流已中断，正在重新连接！");
    case OutputProblem::Stalled:
        return QStringLiteral("警告：视频已停止增长，录播机视频流中断或视频文件无法写入！");
    case OutputProblem::LowSpace:
        return QStringLiteral("警告：视频保存路径所在磁盘剩余空间不足1GB！");
    case OutputProblem::NoSound:
        return QStringLiteral("警告：录播机的声音无法保存，本次录制只有画面！");
    }
    return {};
}

void OutputWatch::reset(std::int64_t nowMs)
{
    m_startMs = nowMs;
    m_lastSize = -1;
    m_lastGrowthMs = nowMs;
}

OutputProblem OutputWatch::assess(const OutputProbe &probe, std::int64_t nowMs)
{
    if (!probe.folderExists || probe.relay.fileMissing)
        return OutputProblem::FolderGone;
    if (probe.relay.writeFailed)
        return probe.relay.writeError == ENOSPC ? OutputProblem::DiskFull : OutputProblem::WriteFailed;
    const std::int64_t size = probe.fileExists ? probe.size : -1;
    if (size > m_lastSize) {
        m_lastSize = size;
        m_lastGrowthMs = nowMs;
    }
    const bool lowSpace = probe.freeBytes >= 0 && probe.freeBytes < m_limits.lowSpaceBytes;
    // Before the first bytes the stream may still be waiting for its first keyframe.
    const std::int64_t quietSince = m_lastSize > 0 ? m_lastGrowthMs : m_startMs + m_limits.graceMs;
    if (nowMs - quietSince >= m_limits.stallMs) {
        if (probe.freeBytes >= 0 && probe.freeBytes < m_limits.fullBytes)
            return OutputProblem::DiskFull;
        if (probe.relay.known && probe.relay.msSincePacket >= m_limits.stallMs)
            return OutputProblem::StreamSilent;
        return OutputProblem::Stalled;
    }
    if (lowSpace)
        return OutputProblem::LowSpace;
    return probe.relay.soundDropped ? OutputProblem::NoSound : OutputProblem::None;
}

} // namespace Qurel
