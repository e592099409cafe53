#pragma once
// SegmentColumn: the main window's segment column (pnl2): the six newest recordings in their frames,
// the marker beside the current one, the ticks the commands work on, and the button that opens the
// folder of all recordings. What it shows is a SegmentList; the frames only display it.

#include "PictureFrame.h"
#include "SegmentList.h"

#include <QList>
#include <QRect>
#include <QStringList>
#include <QWidget>

class QLabel;
class TMlSkinImageButton;

namespace Qurel {

class SegmentColumn final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentColumn)

public:
    SegmentColumn(QWidget *parent, const QRect &geometry);

    // The six frames share the player area's height: V = (height - 15) div 6, 3 px apart.
    void sizePicFrames(int playerHeight);
    // Lists the recordings folder afresh (the default folder, made, when none is set), leaving out
    // liveVideos, completes their side files and makes the first frame current.
    void LoadPicList(const QStringList &liveVideos);
    // A folder listed instead of the settings' recordings folder (a system keeper's); empty for
    // the settings' own. The settings are left as they are, so saving them never stores it.
    void setServiceFolder(const QString &folder) { FServiceFolder = folder; }

    // Frame n (1 ... 6), top first; nullptr for any other number.
    TfraPicture *GetPicFrame(int number) const { return FFrames.value(number - 1); }
    TfraPicture *CurPicFra() const { return FCurPicFra; } // the frame whose recording is current
    int CurVideoNum() const { return FCurVideoNum; } // recordings found by the last load
    const SegmentList &Segments() const { return FSegments; }
    // The current frame shows a recording: the one to play or to save.
    bool HasCurrentRecording() const;
    // The numbers ("1" ... "6") of the ticked recordings, top first.
    QStringList GetCheckedNums() const;
    // The ticked recordings, top first: a snapshot the commands take before any dialog opens.
    RecordingList CheckedRecordingFrames() const { return FSegments.ticked(); }

    // ---- Handlers ------------------------------------------------------------------------------
    // Makes the frame current and ticks it alone.
    void fraPicture1imgMainClick(TfraPicture *frame);
    // "加载更多片段": opens the recordings folder.
    void MlSkinImageButton1Click();

signals:
    // A frame is being made current; the player lets go of what it showed.
    void frameChosen(TfraPicture *frame);

private:
    // The folder listed and opened: the service's, or the settings' recordings folder.
    QString ListedFolder() const;
    void BuildList(const QRect &area);
    void BuildMoreButton(const QRect &row);
    // Shows FSegments in the frames.
    void ShowPicFrames();

    QLabel *imgCurPlay = nullptr;
    QWidget *pnlPicList = nullptr;
    TMlSkinImageButton *MlSkinImageButton1 = nullptr;
    QList<TfraPicture *> FFrames;

    TfraPicture *FCurPicFra = nullptr;
    int FCurVideoNum = 0;
    SegmentList FSegments;
    QString FServiceFolder;
};

} // namespace Qurel
