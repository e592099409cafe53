#pragma once
// RecordingCommands: the function bar's commands on the listed recordings: delete the ticked ones,
// save the current one elsewhere, upload the ticked ones to the resource platform. Each takes the
// recordings it works on before its first dialog opens, so a reload meanwhile changes nothing.

#include <QObject>
#include <QStringList>

#include <functional>

class QWidget;

namespace Qurel {
class PlayerArea;
class SegmentColumn;

class RecordingCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordingCommands)

public:
    // liveVideos: the videos of the lessons still being recorded or finished; never deleted.
    RecordingCommands(QWidget *window, SegmentColumn &segments, PlayerArea &player,
        std::function<QStringList()> liveVideos);

    void btnDelClick();
    void btnSaveAsClick();
    void btnUploadClick();

private:
    QWidget *m_window;
    SegmentColumn &m_segments;
    PlayerArea &m_player;
    std::function<QStringList()> m_liveVideos;
};

} // namespace Qurel
