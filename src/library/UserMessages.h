#pragma once
// The texts the client shows in more than one place, each written once.

#include <QString>

namespace Qurel {

// The caption of the client's windows and message boxes.
inline const QString kClientCaption = QStringLiteral("Qurel助手");

// A recording command found no ticked recording.
inline const QString kNothingTickedMsg = QStringLiteral("没有勾选任何视频！");

// The status line while a lesson records; the time recorded so far follows it.
inline const QString kRecordingStatusPrefix = QStringLiteral("正在录制中，已录制时长：");

} // namespace Qurel
